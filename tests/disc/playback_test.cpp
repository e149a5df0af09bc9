#include <gtest/gtest.h>

#include <QTest>

#include "disc/Deemphasis.h"
#include "support/FakePlayback.h"

// A CdioDevice on an image made at test time (real libcdio), read the way a
// drive reads it, playing into the sound device of FakePlayback.h: the
// device and playback's threads together. Their rules one by one are in
// playback_parts_test.cpp.
using Rig = DeviceRig;

TEST(CdioDevicePlayback, TracksInMsPlayFromToOnWithoutAGapSkipDataAndStopAtTrackOneAtTheEnd) {
  // Track 3 is data; track 4's INDEX 00 of one sector counts in the track
  // before it and makes its ms round down.
  discgen::DiscPlan plan = counterDisc({150, 75, 75, 150});
  plan.tracks[2].kind = discgen::TrackPlan::Kind::Data;
  plan.tracks[3].pregapSectors = 1;
  Rig r(plan);
  ASSERT_EQ(r.dev.tracks(), 4);
  const int32_t toc[][2] = {{2000, 2000}, {4000, 1000}, {5000, 1013}, {6013, 2000}};
  for (int32_t t = 1; t <= 4; ++t) {
    EXPECT_EQ(r.dev.trackPosition(t), toc[t - 1][0]) << "track " << t;
    EXPECT_EQ(r.dev.trackLength(t), toc[t - 1][1]) << "track " << t;
  }
  const int32_t to = r.dev.trackPosition(2) - 500;  // inside a sector
  r.dev.seek(to);
  EXPECT_EQ(r.dev.position(), to) << "right after seek the position is To";
  r.act([&] { r.dev.play(); });
  r.run(2000);
  const int64_t n = 1500 * 441 / 10, m = 500 * 441 / 10;
  EXPECT_EQ(r.heard(0, n), r.samples(frameOfMs(to) - frameOfLsn(0), n));
  EXPECT_EQ(r.heard(n, m), r.samples(301 * 588, m)) << "track 4 follows track 2 at once";
  EXPECT_TRUE(r.at(r.dev.trackPosition(4) + 500)) << r.dev.position();

  const int32_t last = r.dev.trackPosition(4) + r.dev.trackLength(4) - 300;
  r.act([&] { r.dev.seek(last); });
  r.act([&] { r.dev.play(); });
  r.run(200);
  EXPECT_EQ(r.dev.mode(), DeviceMode::Playing) << "the end is not heard yet";
  r.run(400);
  EXPECT_TRUE(QTest::qWaitFor([&] { return r.dev.mode() == DeviceMode::Stopped; }));
  EXPECT_EQ(r.dev.position(), 2000);
  const int64_t tail = frameOfLsn(451) - frameOfMs(last);
  EXPECT_EQ(r.heard(n + m, tail), r.samples(frameOfMs(last) - frameOfLsn(0), tail));
  QTest::qWait(50);
  EXPECT_EQ(r.locked([](World& s) { return s.total(); }), n + m + tail) << "nothing past the end";
}

TEST(CdioDevicePlayback, PositionFollowsTheClockAndTheTransportNeitherSkipsNorRepeats) {
  Rig r(counterDisc({900, 300, 300}));
  // Each step: a command, then time passes (ms); the position and mode then.
  // Next and previous go where transport targets say (control_test); here
  // the device's side of them.
  using M = DeviceMode;
  const struct {
    void (CdDevice::*command)();
    int ms;
    int32_t position;
    M mode;
  } steps[] = {
      {&CdDevice::play, 1000, 3000, M::Playing},
      {&CdDevice::pause, 500, 3000, M::Paused},
      {&CdDevice::pause, 250, 3250, M::Playing},  // pause again resumes
      {&CdDevice::stop, 300, 3250, M::Stopped},   // stop keeps the position
      {&CdDevice::play, 250, 3500, M::Playing},
      {&CdDevice::next, 1000, 15000, M::Playing},  // next keeps playing
      {&CdDevice::previous, 0, 2000, M::Playing},  // within 3 s of its start: the track before
      {&CdDevice::stop, 0, 2000, M::Stopped},
      {&CdDevice::next, 0, 14000, M::Stopped},
  };
  for (const auto& s : steps) {
    r.act([&] { (r.dev.*s.command)(); });
    r.run(s.ms);
    EXPECT_TRUE(r.at(s.position)) << r.dev.position() << " after " << &s - steps;
    EXPECT_EQ(r.dev.mode(), s.mode) << &s - steps;
  }
  EXPECT_EQ(r.heard(0, 66150), r.samples(0, 66150)) << "the disc from its start, no gap, no repeat";
  r.dev.eject();
  EXPECT_EQ(r.dev.mode(), M::NoDisc);
  EXPECT_EQ(r.dev.tracks(), 0);
  EXPECT_EQ(r.dev.position(), 0);
  EXPECT_FALSE(r.dev.canEject());
}

TEST(PlaybackDrive, SpinUpAndAStalledReadPlayOnWithoutAGapFilteredAsOneStretch) {
  // Two tracks flagged for pre-emphasis, the second following on from the
  // first: the filter runs on across reads and from one to the other.
  Rig r(counterDisc({75 * 10, 75 * 10}), {1, 2});
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
  std::vector<int16_t> want = r.samples(0, 11 * 44100);
  Deemphasis().process(want.data(), want.size() / 2);
  EXPECT_EQ(r.heard(0, 11 * 44100), want) << "continuous";
  EXPECT_NEAR(r.dev.position(), 14000, 250);
  EXPECT_TRUE(r.locked([](World& s) { return s.stalls.empty(); })) << "the stall was read";
}

TEST(PlaybackOutput, AnOutputThatFailsIsReopenedAndGoesOnFromThePositionShown) {
  Rig r(counterDisc({75 * 30}));
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
    Rig r(counterDisc({75 * 20, 75 * 20}));
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
