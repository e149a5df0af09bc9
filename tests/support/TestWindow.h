#pragma once

#include <QLabel>
#include <QTest>
#include <QWindow>
#include <memory>
#include <string>

#include "app/frmVelmar.h"
#include "disc/MMControl.h"
#include "support/ManualClock.h"
#include "view/SeekBar.h"

// The real window, loaded on a virtual disc (threeTrackDisc() unless given)
// whose clock moves only when the test moves it: by play(), or by `step` ms
// at every reading of it. Or loaded on any other device.
struct TestWindow {
  int64_t now = 0;
  int64_t step = 0;
  VirtualCdDevice* device = nullptr;
  std::unique_ptr<frmVelmar> form;

  // `now` and `step` are in ms; the device reads them in µs.
  explicit TestWindow(std::vector<TocEntry> toc = threeTrackDisc(), Clock c = {}) {
    auto owned = std::make_unique<VirtualCdDevice>(
        std::move(toc), c ? c : Clock([this] { return (now += step) * 1000; }));
    device = owned.get();
    form = std::make_unique<frmVelmar>(std::move(owned));
  }
  explicit TestWindow(std::unique_ptr<CdDevice> d)
      : form(std::make_unique<frmVelmar>(std::move(d))) {}

  frmVelmar* operator->() const { return form.get(); }
  // Shows the window; true once it activated (playback started, table built).
  [[nodiscard]] bool activate() {
    form->show();
    return QTest::qWaitFor([&] { return form->activated(); }, 5000);
  }
  // Moves the disc on by `ms` and runs one tick.
  void play(int64_t ms) {
    now += ms;
    form->Timer1_Timer();
  }
  // Moves playback to `ms` from the start of the disc and runs one tick.
  void playTo(int32_t ms) { play(ms - form->MMControl1->Position()); }
  std::string caption() const { return form->Label4->text().toStdString(); }

  // `x` px along the seek bar (y 10), in window pixels.
  QPoint onBar(int x) const { return form->lblSlider->mapTo(form.get(), QPoint(x, 10)); }
};
