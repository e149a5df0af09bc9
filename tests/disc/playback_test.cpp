#include "disc/Playback.h"

#include <gtest/gtest.h>

#include "disc/Deemphasis.h"
#include "support/FakePlayback.h"

// The threads together, against the drive and the sound device of
// FakePlayback.h; their rules one by one are in playback_parts_test.cpp.

TEST(PlaybackDrive, SpinUpAndAStalledReadPlayOnWithoutAGap) {
  DriveRig r{{75 * 20}};
  // 1 s to spin up; 1.5 s on one read, while 8 s of the disc are being read.
  r.w->stalls = {{0, 1000000}, {75 * 8, 1500000}};
  r.start();
  r.pb->play();
  ASSERT_TRUE(QTest::qWaitFor([&] { return r.w->stalling.load(); })) << "the drive spins up";
  r.run(900, 100);
  EXPECT_EQ(r.pb->position(), frameOfLsn(0)) << "nothing is heard while the drive spins up";
  r.run(100, 100);
  ASSERT_EQ(r.heard(0, 1).size(), 2u);
  r.runReading(12000);
  EXPECT_EQ(r.locked([](World& s) { return s.gapFrames; }), 0) << "the output ran dry";
  EXPECT_EQ(r.heard(0, 11 * 44100), discFrames(frameOfLsn(0), 11 * 44100)) << "continuous";
  EXPECT_NEAR(r.pb->position(), frameOfLsn(0) + 12 * 44100, 44100 / 4);
  EXPECT_TRUE(r.locked([](World& s) { return s.stalls.empty(); })) << "the stall was read";
}

TEST(PlaybackOutput, AnOutputThatFailsIsReopenedAndGoesOnFromThePositionShown) {
  DriveRig r{{75 * 30}};
  r.start();
  r.pb->play();
  r.run(2000);
  const size_t marks = r.locked([&](World& s) {
    s.failNextWrite = true;
    s.openFailsUntilUs = r.w->now + 2500000;  // the server is gone for 2.5 s
    return s.marks.size();
  });
  r.run(10);
  ASSERT_TRUE(QTest::qWaitFor([&] { return r.locked([](World& s) { return !s.live; }); }));
  EXPECT_NEAR(r.pb->position(), frameOfLsn(0) + 2 * 44100, 44100 / 4) << "what was heard";
  // Without an output the clock plays (once the audio heard last is read
  // again): each step of it is shown, until the output opens again (within
  // about a second of the server's return) and its audio starts at the
  // position shown then.
  const int64_t failed = r.pb->position();
  ASSERT_TRUE(QTest::qWaitFor([&] {
    r.w->now += 10000;
    return r.pb->position() > failed;
  }));
  int64_t shown = 0, at = -1;
  while ((at = r.restartedAt(marks)) < 0 && r.w->now < 6700000) {
    shown = r.pb->position();
    r.w->now += 50000;
    const bool moved =
        QTest::qWaitFor([&] { return r.pb->position() >= shown + 2205 - 441; }, 1000);
    EXPECT_TRUE(moved || r.restartedAt(marks) >= 0) << "the display stood still at " << r.w->now;
    EXPECT_LE(r.pb->position(), shown + 2205 + 441) << "the display jumped at " << r.w->now;
  }
  ASSERT_GE(at, 0) << "not reopened in time";
  const int opens = r.locked([](World& s) { return s.opens; });
  EXPECT_TRUE(opens >= 4 && opens <= 6) << opens << " attempts: a growing wait";
  const std::vector<int16_t> first = r.heard(at, 1);
  const int64_t resumed = (int64_t{first[1] & 0x3fff} << 16) | static_cast<uint16_t>(first[0]);
  EXPECT_NEAR(resumed, shown, 2205 + 441);
  r.run(1000);
  EXPECT_EQ(r.heard(at, 44100), discFrames(resumed, 44100)) << "and plays on from there";
  EXPECT_EQ(r.locked([](World& s) { return s.gapFrames; }), 0);
}

TEST(PlaybackLifetime, DestructionAndTransportNeverWaitOnAStuckReadOrOutput) {
  for (const std::string stuck : {"read", "write", "drop"}) {
    SCOPED_TRACE(stuck);
    const int baseline = Worker::stillRunning();
    DriveRig r{{75 * 30}};
    if (stuck == "read") r.w->stalls[75 * 20] = int64_t{1} << 60;  // never returns
    r.start();
    r.pb->play();
    r.run(500);
    if (stuck == "read") {
      r.pb->jump(frameOfLsn(75 * 20));
      ASSERT_TRUE(QTest::qWaitFor([&] { return r.w->stalling.load(); }));
    } else {
      (stuck == "write" ? r.w->stuckWrite : r.w->stuckDrop) = true;
      if (stuck == "drop") r.pb->pause();  // the writer drops the output and stays there
      r.run(300);
    }
    const auto t0 = std::chrono::steady_clock::now();
    r.pb->pause();
    r.pb->seek(frameOfLsn(75 * 10));
    r.pb->play();
    r.pb->stop();
    (void)r.pb->position();
    r.pb.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(500));
    EXPECT_GT(Worker::stillRunning(), baseline) << "a thread is left stuck";
    EXPECT_FALSE(r.source.expired());
    // Once free, the stuck thread ends and lets go of the source and output.
    r.w->release = true;
    EXPECT_TRUE(QTest::qWaitFor([&] { return Worker::stillRunning() == baseline; }));
    EXPECT_TRUE(r.source.expired());
    EXPECT_TRUE(r.locked([](World& s) { return s.closes == s.opens; }));
  }
}

TEST(PlaybackDeemphasis, FlaggedTracksThatFollowEachOtherAreFilteredAsOneStretch) {
  DriveRig r{{75}, {75, true}, {75, true}, {75}};
  r.start();
  r.pb->play();
  r.run(4300);
  ASSERT_TRUE(QTest::qWaitFor([&] { return r.pb->mode() == DeviceMode::Stopped; }));
  const int64_t n = 75 * 588;
  std::vector<int16_t> want = discFrames(frameOfLsn(75), 2 * n);
  Deemphasis().process(want.data(), static_cast<size_t>(2 * n));
  EXPECT_EQ(r.heard(0, n), discFrames(frameOfLsn(0), n));
  EXPECT_EQ(r.heard(n, 2 * n), want) << "filtered, continuous across reads and tracks";
  EXPECT_EQ(r.heard(3 * n, n), discFrames(frameOfLsn(225), n));
}
