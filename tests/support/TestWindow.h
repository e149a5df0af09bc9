#pragma once

#include <QTest>
#include <memory>

#include "app/frmVelmar.h"
#include "disc/MMControl.h"
#include "support/ManualClock.h"

// The real window, loaded on a virtual disc whose clock moves only when the
// test moves it (or on `c`, when given).
struct TestWindow {
  ManualClock clock;
  VirtualCdDevice* device = nullptr;
  std::unique_ptr<frmVelmar> form;

  explicit TestWindow(std::vector<TocEntry> toc = threeTrackDisc(), Clock c = {}) {
    auto owned = std::make_unique<VirtualCdDevice>(std::move(toc), c ? c : clock.clock());
    device = owned.get();
    form = std::make_unique<frmVelmar>(std::move(owned));
  }
  frmVelmar* operator->() const { return form.get(); }
  // Shows the window; true once it activated (playback started, table built).
  [[nodiscard]] bool activate() {
    form->show();
    return QTest::qWaitFor([&] { return form->activated(); }, 2000);
  }
  // Moves the disc on by `ms` and runs one tick.
  void play(int64_t ms) {
    clock.advance(ms);
    form->Timer1_Timer();
  }
};
