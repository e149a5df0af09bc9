#include <gtest/gtest.h>

#include <QComboBox>
#include <QElapsedTimer>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "app/TransportBar.h"
#include "app/frmVelmar.h"
#include "disc/CdioDevice.h"
#include "disc/MMControl.h"
#include "disc/modFunciones.h"
#include "support/TestDisc.h"

namespace {

// A drive's tray that the test opens and fills by hand. Every call is safe
// from any thread.
struct Tray {
  std::mutex m;
  TrayState state = TrayState::NoDisc;
  DiscToc disc;  // in the tray (or waiting in the open tray)
  std::atomic<int> spinUpMs = 0;
  int reads = 0;            // discs the drive has tried to read
  std::vector<int> speeds;  // asked of the discs read, 0 as each is let go
  // Puts in a disc of audio tracks of `sectors` each (none: a disc the drive
  // cannot read).
  void put(TrayState s, const std::vector<int32_t>& sectors = {}) {
    std::lock_guard lock(m);
    state = s;
    disc = {};
    for (int32_t n : sectors) {
      DiscTrack t;
      t.lsn = disc.leadOutLsn;
      t.sectors = n;
      disc.tracks.push_back(t);
      disc.leadOutLsn += n;
    }
  }
  template <class T>
  T get(T Tray::*field) {
    std::lock_guard lock(m);
    return this->*field;
  }
};

// A disc in memory (silence) that records the speeds asked of it.
class MemoryDisc : public SectorSource {
 public:
  MemoryDisc(DiscToc toc, std::shared_ptr<Tray> tray)
      : toc_(std::move(toc)), tray_(std::move(tray)) {}
  const DiscToc& toc() const override { return toc_; }
  SectorRead read(int32_t, int32_t count, int16_t* out) override {
    std::fill(out, out + count * kSamplesPerSector, int16_t{0});
    return SectorRead::Ok;
  }
  bool setSpeed(int multiple) override {
    std::lock_guard lock(tray_->m);
    tray_->speeds.push_back(multiple);
    return true;
  }

 private:
  DiscToc toc_;
  std::shared_ptr<Tray> tray_;
};

// Reading a disc takes the tray's spinUpMs.
class FakeDrive : public Drive {
 public:
  explicit FakeDrive(std::shared_ptr<Tray> tray) : tray_(std::move(tray)) {}
  TrayState state() override { return tray_->get(&Tray::state); }
  std::unique_ptr<SectorSource> openDisc() override {
    std::this_thread::sleep_for(std::chrono::milliseconds(tray_->spinUpMs.load()));
    std::lock_guard lock(tray_->m);
    ++tray_->reads;
    if (tray_->state != TrayState::DiscIn || tray_->disc.tracks.empty()) return nullptr;
    return std::make_unique<MemoryDisc>(tray_->disc, tray_);
  }
  bool ejectOrClose() override {
    std::lock_guard lock(tray_->m);
    const bool open = tray_->state == TrayState::Open, empty = tray_->disc.tracks.empty();
    tray_->state = !open ? TrayState::Open : empty ? TrayState::NoDisc : TrayState::DiscIn;
    return true;
  }
  bool canEject() const override { return true; }

 private:
  std::shared_ptr<Tray> tray_;
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
    return path.empty() ? std::make_unique<FakeDrive>(tray) : nullptr;
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
  ASSERT_TRUE(QTest::qWaitFor([&] { return form.List1->count() == 4; }));
  form.OpenDisc("");
  ASSERT_TRUE(QTest::qWaitFor([&] { return form.List1->count() == 0; }))
      << "the drive's disc is still spinning up";
  ASSERT_TRUE(QTest::qWaitFor([&] { return form.List1->count() == 3; }, 5000));
  EXPECT_EQ(form.MMControl1->Mode(), DeviceMode::Playing) << "a disc that arrives plays";
  EXPECT_EQ(modFunciones::TrackTable[3].start, (1500 + 150) * 40 / 3);
  EXPECT_NE(modFunciones::CurrentEnd, 0);

  // Eject: the list empties at once; Eject again closes the tray on the
  // next disc, which is read and played like the first.
  tray->spinUpMs = 1000;
  auto* bar = form.MMControl1->findChild<TransportBar*>();
  ASSERT_NE(bar, nullptr);
  bar->button(TransportBar::Eject)->click();
  ASSERT_TRUE(QTest::qWaitFor([&] { return form.List1->count() == 0; }));
  EXPECT_EQ(form.MMControl1->Mode(), DeviceMode::NoDisc);
  EXPECT_EQ(modFunciones::TrackTable[1].end, 0) << "the old table is gone";
  ASSERT_TRUE(QTest::qWaitFor([&] { return tray->get(&Tray::state) == TrayState::Open; }));
  auto speeds = [&](std::vector<int> want) {
    return QTest::qWaitFor([&] { return tray->get(&Tray::speeds) == want; });
  };
  EXPECT_TRUE(speeds({CdioDevice::kQuietSpeed, 0})) << "a quiet speed, full speed asked back";
  tray->put(TrayState::Open, {300, 300});
  ASSERT_TRUE(QTest::qWaitFor([&] { return bar->button(TransportBar::Eject)->isEnabled(); }));
  bar->button(TransportBar::Eject)->click();
  ASSERT_TRUE(QTest::qWaitFor([&] { return form.List1->count() == 2; }, 5000));
  EXPECT_EQ(form.List1->itemText(1), "2");
  EXPECT_EQ(form.MMControl1->Mode(), DeviceMode::Playing);

  // The disc taken out by hand while playing; then one the drive cannot
  // read, tried once and not every second, until a new disc comes.
  tray->spinUpMs = 0;
  tray->put(TrayState::Open);
  ASSERT_TRUE(QTest::qWaitFor([&] { return form.List1->count() == 0; }));
  EXPECT_EQ(form.MMControl1->Mode(), DeviceMode::NoDisc);
  EXPECT_EQ(modFunciones::CurrentEnd, 0);
  const int reads = tray->get(&Tray::reads);
  tray->put(TrayState::DiscIn);
  ASSERT_TRUE(QTest::qWaitFor([&] { return tray->get(&Tray::reads) > reads; }));
  QTest::qWait(200);
  EXPECT_EQ(tray->get(&Tray::reads), reads + 1);
  tray->put(TrayState::Open);
  QTest::qWait(60);
  tray->put(TrayState::DiscIn, {300});
  ASSERT_TRUE(QTest::qWaitFor([&] { return form.List1->count() == 1; }));

  probe.stop();
  EXPECT_LT(longest, 500) << "the window's thread waited on the drive";
  form.close();
  EXPECT_TRUE(speeds({4, 0, 4, 0, 4, 0})) << "every disc is let go";
}
