#include <gtest/gtest.h>

#include <QComboBox>
#include <QElapsedTimer>
#include <QTest>
#include <QTimer>
#include <deque>

#include "app/TransportBar.h"
#include "app/frmVelmar.h"
#include "disc/CdioDevice.h"
#include "disc/MMControl.h"
#include "disc/modFunciones.h"
#include "support/FakeDrive.h"

namespace {

DiscAccess fakeAccess(std::shared_ptr<FakeDrive::Tray> tray, int openWaitMs = 2000) {
  DiscAccess a;
  a.drive = [tray](const std::string&) { return std::make_unique<FakeDrive>(tray); };
  a.driveOpenWaitMs = openWaitMs;
  a.watchIntervalMs = 20;
  return a;
}

// A device on a fake drive, without audio output (paced by the clock); the
// disc changes it announces are queued and applied when the test says.
struct DriveRig {
  std::shared_ptr<FakeDrive::Tray> tray = std::make_shared<FakeDrive::Tray>();
  std::mutex m;
  std::deque<std::function<void()>> changes;
  std::unique_ptr<CdioDevice> dev;

  void open(int openWaitMs = 2000) {
    dev = std::make_unique<CdioDevice>(
        "/dev/fake", [] { return nullptr; }, Playback::steadyClock(), fakeAccess(tray, openWaitMs));
    dev->setDiscChangeHandler([this](std::function<void()> apply) {
      std::lock_guard lock(m);
      changes.push_back(std::move(apply));
    });
    dev->open();
  }
  // Waits for the next announced change and applies it.
  bool applyNext() {
    std::function<void()> apply;
    const bool got = QTest::qWaitFor(
        [&] {
          std::lock_guard lock(m);
          if (changes.empty()) return false;
          apply = std::move(changes.front());
          changes.pop_front();
          return true;
        },
        5000);
    if (got) apply();
    return got;
  }
  std::vector<int> speeds() {
    std::lock_guard lock(tray->log->m);
    return tray->log->speeds;
  }
};

}  // namespace

TEST(DriveWatch, DiscsThatLeaveAndArriveChangeTheDeviceAndTheSpeedIsCappedWhileOpen) {
  DriveRig r;
  r.tray->insert(MemoryDisc::tocOf({750, 750, 750}));
  r.open();
  EXPECT_EQ(r.dev->tracks(), 3) << "a disc that reads at once is there when open returns";
  EXPECT_EQ(r.dev->mode(), DeviceMode::Stopped);
  EXPECT_EQ(r.speeds(), std::vector<int>{CdioDevice::kQuietSpeed});
  r.dev->play();

  r.tray->takeOut(MemoryDisc::tocOf({300, 300}));
  ASSERT_TRUE(r.applyNext()) << "the disc leaving is announced";
  EXPECT_EQ(r.dev->mode(), DeviceMode::NoDisc);
  EXPECT_EQ(r.dev->tracks(), 0);
  EXPECT_TRUE(r.dev->canEject()) << "with the tray open, Eject closes it";
  EXPECT_TRUE(QTest::qWaitFor([&] { return r.tray->log->alive == 0; })) << "the old disc is let go";

  r.dev->eject();  // closes the tray on the new disc
  ASSERT_TRUE(r.applyNext()) << "the new disc is announced";
  EXPECT_EQ(r.dev->tracks(), 2);
  EXPECT_EQ(r.dev->trackPosition(2), (300 + 150) * 40 / 3);
  EXPECT_EQ(r.dev->mode(), DeviceMode::Stopped) << "the window starts it";
  EXPECT_EQ(r.tray->ejects, 1);

  r.dev->close();
  EXPECT_TRUE(QTest::qWaitFor([&] { return r.tray->log->alive == 0; }));
  EXPECT_EQ(r.speeds(), (std::vector<int>{4, 0, 4, 0})) << "full speed is asked back on release";
}

TEST(DriveWatch, ADiscSlowToSpinUpArrivesLaterAndAnUnreadableOneIsNotReadAgainAndAgain) {
  DriveRig r;
  r.tray->insert(MemoryDisc::tocOf({750}));
  r.tray->spinUpMs = 700;
  QElapsedTimer t;
  t.start();
  r.open(100);
  EXPECT_LT(t.elapsed(), 600) << "open does not wait for the drive past its bound";
  EXPECT_EQ(r.dev->mode(), DeviceMode::NoDisc);
  ASSERT_TRUE(r.applyNext());
  EXPECT_EQ(r.dev->tracks(), 1);

  // A disc the drive cannot read (no table of contents) is tried once, not
  // every second; a new disc is tried again.
  DriveRig u;
  u.tray->insert({});
  u.open(1000);
  EXPECT_EQ(u.dev->mode(), DeviceMode::NoDisc);
  QTest::qWait(200);
  EXPECT_EQ(u.tray->reads, 1);
  u.tray->takeOut();
  QTest::qWait(60);
  u.tray->insert(MemoryDisc::tocOf({300}));
  ASSERT_TRUE(u.applyNext());
  EXPECT_EQ(u.dev->tracks(), 1);
}

TEST(DriveWatch, TheWindowRebuildsItsListForEveryDiscAndItsThreadIsNeverHeldByTheDrive) {
  auto tray = std::make_shared<FakeDrive::Tray>();
  tray->insert(MemoryDisc::tocOf({750, 750, 750}));
  tray->spinUpMs = 1500;
  frmVelmar form(std::make_unique<CdioDevice>(
      "/dev/fake", [] { return nullptr; }, Playback::steadyClock(), fakeAccess(tray, 100)));

  // The longest the window's thread went without running its events.
  QElapsedTimer since;
  since.start();
  qint64 longest = 0;
  QTimer probe;
  QObject::connect(&probe, &QTimer::timeout, [&] { longest = std::max(longest, since.restart()); });
  probe.start(10);

  form.show();
  ASSERT_TRUE(QTest::qWaitFor([&] { return form.activated(); }));
  EXPECT_EQ(form.List1->count(), 0) << "the disc is still spinning up";
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
  ASSERT_TRUE(QTest::qWaitFor([&] { return tray->current() == TrayState::Open; }));
  {
    std::lock_guard lock(tray->m);
    tray->disc = MemoryDisc::tocOf({300, 300});  // put in the open tray
  }
  ASSERT_TRUE(QTest::qWaitFor([&] { return bar->button(TransportBar::Eject)->isEnabled(); }));
  bar->button(TransportBar::Eject)->click();
  ASSERT_TRUE(QTest::qWaitFor([&] { return form.List1->count() == 2; }, 5000));
  EXPECT_EQ(form.List1->itemText(1), "2");
  EXPECT_EQ(form.MMControl1->Mode(), DeviceMode::Playing);

  // The disc taken out by hand while playing.
  tray->takeOut();
  ASSERT_TRUE(QTest::qWaitFor([&] { return form.List1->count() == 0; }));
  EXPECT_EQ(form.MMControl1->Mode(), DeviceMode::NoDisc);
  EXPECT_EQ(modFunciones::CurrentEnd, 0);

  probe.stop();
  EXPECT_LT(longest, 500) << "the window's thread waited on the drive";
  form.close();
}

TEST(DriveWatch, OpeningTheDefaultDriveInAWindowStartedOnAnImageReadsTheDrive) {
  auto tray = std::make_shared<FakeDrive::Tray>();
  tray->insert(MemoryDisc::tocOf({300, 300}));
  DiscAccess a = fakeAccess(tray);
  a.drive = [tray](const std::string& path) -> std::unique_ptr<Drive> {
    if (!path.empty()) return nullptr;
    return std::make_unique<FakeDrive>(tray);
  };
  a.image = [log = tray->log](const std::string&, std::string*) -> std::unique_ptr<SectorSource> {
    return std::make_unique<MemoryDisc>(MemoryDisc::tocOf({300, 300, 300, 300}), log);
  };
  frmVelmar form(std::make_unique<CdioDevice>(
      "disc.cue", [] { return nullptr; }, Playback::steadyClock(), a));
  form.show();
  ASSERT_TRUE(QTest::qWaitFor([&] { return form.List1->count() == 4; }));
  form.OpenDisc("");
  EXPECT_EQ(form.List1->count(), 2) << "\"\" names the default drive, not the image again";
  EXPECT_EQ(form.MMControl1->Mode(), DeviceMode::Playing);
  form.close();
}
