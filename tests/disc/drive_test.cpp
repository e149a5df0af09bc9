#include <gtest/gtest.h>

#include <QComboBox>
#include <QElapsedTimer>
#include <QTest>
#include <QTimer>
#include <mutex>
#include <thread>

#include "app/TransportBar.h"
#include "app/frmVelmar.h"
#include "disc/CdioDevice.h"
#include "disc/MMControl.h"
#include "disc/modFunciones.h"
#include "support/ManualClock.h"
#include "support/TestDisc.h"

namespace {

// A drive's tray the test opens and fills by hand; its discs are silence
// and record the speeds asked of them. Safe from any thread.
struct Tray {
  std::mutex m;
  TrayState tray = TrayState::NoDisc;
  DiscToc disc;  // in the tray (or waiting in the open tray)
  int spinUpMs = 0, reads = 0;
  std::vector<int> speeds;  // asked of the discs read, 0 as each is let go

  // Puts in a disc of audio tracks of `sectors` each (none: one the drive
  // cannot read).
  void put(TrayState s, std::initializer_list<int32_t> sectors = {}) {
    std::lock_guard lock(m);
    tray = s;
    disc = tocOf(sectors);
  }
  template <class T>
  T get(T Tray::*field) {
    std::lock_guard lock(m);
    return this->*field;
  }
};

// The drive holding the tray, as each device that opens it sees it.
struct TrayDrive : Drive {
  std::shared_ptr<Tray> t;
  struct Disc : SectorSource {
    DiscToc d;
    std::shared_ptr<Tray> t;
    const DiscToc& toc() const override { return d; }
    SectorRead read(int32_t, int32_t count, int16_t* out) override {
      std::fill(out, out + count * kSamplesPerSector, int16_t{0});
      return SectorRead::Ok;
    }
    bool setSpeed(int multiple) override {
      std::lock_guard lock(t->m);
      t->speeds.push_back(multiple);
      return true;
    }
  };
  TrayState state() override { return t->get(&Tray::tray); }
  std::unique_ptr<SectorSource> openDisc() override {
    std::this_thread::sleep_for(std::chrono::milliseconds(t->get(&Tray::spinUpMs)));
    std::lock_guard lock(t->m);
    ++t->reads;
    if (t->tray != TrayState::DiscIn || t->disc.tracks.empty()) return nullptr;
    auto d = std::make_unique<Disc>();
    d->d = t->disc;
    d->t = t;
    return d;
  }
  bool ejectOrClose() override {
    std::lock_guard lock(t->m);
    t->tray = t->tray != TrayState::Open ? TrayState::Open
              : t->disc.tracks.empty()   ? TrayState::NoDisc
                                         : TrayState::DiscIn;
    return true;
  }
  bool canEject() const override { return true; }
};

}  // namespace

TEST(DriveWatch, EveryDiscChangeReachesTheWindowWhoseThreadTheDriveNeverHolds) {
  // The window starts on an image of four tracks; the default drive ("")
  // holds a disc of three that takes 1.5 s to spin up.
  auto tray = std::make_shared<Tray>();
  tray->put(TrayState::DiscIn, {750, 750, 750});
  tray->spinUpMs = 1500;
  TestDisc image(counterDisc({300, 300, 300, 300}));
  DiscAccess a = DiscAccess::system();
  a.drive = [tray](const std::string& path) -> std::unique_ptr<Drive> {
    if (!path.empty()) return nullptr;
    auto d = std::make_unique<TrayDrive>();
    d->t = tray;
    return d;
  };
  a.driveOpenWaitMs = 100;
  a.watchIntervalMs = 20;
  // The longest the window's thread went without running its events.
  QElapsedTimer since;
  since.start();
  qint64 longest = 0;
  QTimer probe;
  QObject::connect(&probe, &QTimer::timeout, [&] { longest = std::max(longest, since.restart()); });
  probe.start(10);

  frmVelmar form(std::make_unique<CdioDevice>(
      image.cue, [] { return nullptr; }, steadyClock(), a));
  form.show();
  auto listHas = [&](int n, int ms = 5000) {
    return QTest::qWaitFor([&] { return form.List1->count() == n; }, ms);
  };
  ASSERT_TRUE(listHas(4));
  form.OpenDisc("");
  ASSERT_TRUE(listHas(0)) << "the drive's disc is still spinning up";
  ASSERT_TRUE(listHas(3));
  EXPECT_EQ(form.MMControl1->Mode(), DeviceMode::Playing) << "a disc that arrives plays";
  EXPECT_EQ(modFunciones::TrackTable[3].start, msOfLsn(1500));

  // Eject: the list empties at once; Eject again closes the tray on the
  // next disc, which is read and played like the first.
  tray->spinUpMs = 1000;
  auto* eject = form.MMControl1->findChild<TransportBar*>()->button(TransportBar::Eject);
  eject->click();
  ASSERT_TRUE(listHas(0));
  EXPECT_EQ(form.MMControl1->Mode(), DeviceMode::NoDisc);
  EXPECT_EQ(modFunciones::TrackTable[1].end, 0) << "the old table is gone";
  ASSERT_TRUE(QTest::qWaitFor([&] { return tray->get(&Tray::tray) == TrayState::Open; }));
  tray->put(TrayState::Open, {300, 300});
  ASSERT_TRUE(QTest::qWaitFor([&] { return eject->isEnabled(); }));
  eject->click();
  ASSERT_TRUE(listHas(2));
  EXPECT_EQ(form.MMControl1->Mode(), DeviceMode::Playing);

  // The disc taken out by hand while playing; then one the drive cannot
  // read, tried once and not every second, until a new disc comes.
  tray->spinUpMs = 0;
  tray->put(TrayState::Open);
  ASSERT_TRUE(listHas(0));
  EXPECT_EQ(modFunciones::CurrentEnd, 0);
  const int reads = tray->get(&Tray::reads);
  tray->put(TrayState::DiscIn);
  QTest::qWait(200);
  EXPECT_EQ(tray->get(&Tray::reads), reads + 1);
  tray->put(TrayState::Open);
  QTest::qWait(60);
  tray->put(TrayState::DiscIn, {300});
  ASSERT_TRUE(listHas(1));

  probe.stop();
  EXPECT_LT(longest, 500) << "the window's thread waited on the drive";
  form.close();
  const int q = CdioDevice::kQuietSpeed;
  EXPECT_TRUE(QTest::qWaitFor([&] {
    return tray->get(&Tray::speeds) == std::vector{q, 0, q, 0, q, 0};
  })) << "each disc read at a quiet speed, full speed asked back as it is let go";
}
