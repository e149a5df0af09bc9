#include <gtest/gtest.h>

#include "disc/Deemphasis.h"
#include "support/FakePlayback.h"
#include "support/TestDisc.h"

// Playback's threads together, on images read the way a drive reads them;
// their rules one by one are in playback_parts_test.cpp.
namespace {
struct Rig : TestDisc, DeviceRig {
  explicit Rig(const std::vector<int32_t>& sectors, std::set<int> preemphasis = {})
      : TestDisc(counterDisc(sectors)), DeviceRig(cue, {}, std::move(preemphasis)) {}
};
}  // namespace

TEST(PlaybackDrive, SpinUpAndAStalledReadPlayOnWithoutAGap) {
  Rig r({75 * 20});
  // 1 s to spin up; 1.5 s on one read, while 8 s of the disc are being read.
  r.w->stalls = {{0, 1000000}, {75 * 8, 1500000}};
  r.dev.play();
  ASSERT_TRUE(QTest::qWaitFor([&] { return r.w->stalling.load(); })) << "the drive spins up";
  r.run(900, 100);
  EXPECT_EQ(r.dev.position(), 2000) << "nothing is heard while the drive spins up";
  r.run(100, 100);
  ASSERT_EQ(r.heard(0, 1).size(), 2u);
  r.run(12000, 10, true);
  EXPECT_EQ(r.locked([](World& s) { return s.gapFrames; }), 0) << "the output ran dry";
  EXPECT_EQ(r.heard(0, 11 * 44100), r.samples(0, 11 * 44100)) << "continuous";
  EXPECT_NEAR(r.dev.position(), 14000, 250);
  EXPECT_TRUE(r.locked([](World& s) { return s.stalls.empty(); })) << "the stall was read";
}

TEST(PlaybackOutput, AnOutputThatFailsIsReopenedAndGoesOnFromThePositionShown) {
  Rig r({75 * 30});
  r.act([&] { r.dev.play(); });
  r.run(2000);
  const size_t marks = r.locked([&](World& s) {
    s.failNextWrite = true;
    s.openFailsUntilUs = r.w->now + 2500000;  // the server is gone for 2.5 s
    return s.marks.size();
  });
  r.run(10);
  ASSERT_TRUE(QTest::qWaitFor([&] { return r.locked([](World& s) { return !s.live; }); }));
  const int32_t failed = r.dev.position();
  EXPECT_NEAR(failed, 4000, 250) << "what was heard";
  // Without an output the clock plays (once the audio heard last is read
  // again): each step of it is shown, until the output opens again (within
  // about a second of the server's return) and its audio starts at the
  // position shown then.
  ASSERT_TRUE(QTest::qWaitFor([&] {
    r.w->now += 10000;
    return r.dev.position() > failed;
  }));
  int32_t shown = 0;
  int64_t at = -1;
  while ((at = r.restartedAt(marks)) < 0 && r.w->now < 6700000) {
    shown = r.dev.position();
    r.w->now += 50000;
    const bool moved = QTest::qWaitFor([&] { return r.dev.position() >= shown + 40; }, 1000);
    EXPECT_TRUE(moved || r.restartedAt(marks) >= 0) << "the display stood still at " << r.w->now;
    EXPECT_LE(r.dev.position(), shown + 60) << "the display jumped at " << r.w->now;
  }
  ASSERT_GE(at, 0) << "not reopened in time";
  const int opens = r.locked([](World& s) { return s.opens; });
  EXPECT_TRUE(opens >= 4 && opens <= 6) << opens << " attempts: a growing wait";
  // The counter disc's frame, from its samples.
  const std::vector<int16_t> first = r.heard(at, 1);
  const int64_t resumed = int64_t{first[1] - 300} * 32768 + first[0];
  EXPECT_NEAR(msOfFrame(frameOfLsn(0) + resumed), shown, 60);
  r.run(1000);
  EXPECT_EQ(r.heard(at, 44100), r.samples(resumed, 44100)) << "and plays on from there";
  EXPECT_EQ(r.locked([](World& s) { return s.gapFrames; }), 0);
}

TEST(PlaybackLifetime, DestructionAndTransportNeverWaitOnAStuckReadOrOutput) {
  for (const std::string stuck : {"read", "write", "drop"}) {
    SCOPED_TRACE(stuck);
    const int baseline = Worker::stillRunning();
    Rig r({75 * 20, 75 * 20});
    if (stuck == "read") r.w->stalls[75 * 20] = int64_t{1} << 60;  // never returns
    r.dev.play();
    r.run(500);
    if (stuck == "read") {
      r.dev.next();
      ASSERT_TRUE(QTest::qWaitFor([&] { return r.w->stalling.load(); }));
    } else {
      (stuck == "write" ? r.w->stuckWrite : r.w->stuckDrop) = true;
      if (stuck == "drop") r.dev.pause();  // the writer drops the output and stays there
      r.run(300);
    }
    const auto t0 = std::chrono::steady_clock::now();
    r.dev.pause();
    r.dev.seek(5000);
    r.dev.play();
    r.dev.stop();
    (void)r.dev.position();
    r.dev.close();
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(500));
    EXPECT_GT(Worker::stillRunning(), baseline) << "a thread is left stuck";
    EXPECT_FALSE(r.w->source.expired());
    // Once free, the stuck thread ends and lets go of the source and output.
    r.w->release = true;
    EXPECT_TRUE(QTest::qWaitFor([&] { return Worker::stillRunning() == baseline; }));
    EXPECT_TRUE(r.w->source.expired());
    EXPECT_TRUE(r.locked([](World& s) { return s.closes == s.opens; }));
  }
}

TEST(PlaybackDeemphasis, FlaggedTracksThatFollowEachOtherAreFilteredAsOneStretch) {
  Rig r({75, 75, 75, 75}, {2, 3});
  r.act([&] { r.dev.play(); });
  r.run(4300);
  ASSERT_TRUE(QTest::qWaitFor([&] { return r.dev.mode() == DeviceMode::Stopped; }));
  const int64_t n = 75 * 588;
  std::vector<int16_t> want = r.samples(n, 2 * n);
  Deemphasis().process(want.data(), static_cast<size_t>(2 * n));
  EXPECT_EQ(r.heard(0, n), r.samples(0, n));
  EXPECT_EQ(r.heard(n, 2 * n), want) << "filtered, continuous across reads and tracks";
  EXPECT_EQ(r.heard(3 * n, n), r.samples(3 * n, n));
}
