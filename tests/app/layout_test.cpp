#include <gtest/gtest.h>

#include <QComboBox>
#include <QDir>
#include <QFrame>
#include <QImage>
#include <QLabel>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <memory>

#include "app/frmVelmar.h"
#include "disc/VirtualCdDevice.h"
#include "support/ManualClock.h"

namespace {
struct Window {
  ManualClock clock;
  VirtualCdDevice* device = nullptr;
  std::unique_ptr<frmVelmar> form;

  explicit Window(std::vector<TocEntry> toc = threeTrackDisc()) {
    auto owned = std::make_unique<VirtualCdDevice>(std::move(toc), clock.clock());
    device = owned.get();
    form = std::make_unique<frmVelmar>(std::move(owned));
  }
};
}  // namespace

TEST(Layout, Shot) {
  Window w;
  w.form->Timer1->stop();
  w.form->show();
  QImage shot = w.form->grab().toImage();
  QDir().mkpath(VELMAR_BINARY_DIR "/artifacts");
  shot.save(VELMAR_BINARY_DIR "/artifacts/velmar.png");
}
