#include <gtest/gtest.h>

#include <QTest>

#include "disc/CdioDevice.h"
#include "support/FakePlayback.h"
#include "support/TestDisc.h"

namespace {
// A CdioDevice on an image made at test time (real libcdio), playing into
// the sound device of FakePlayback.h.
struct Rig : TestDisc, DeviceRig {
  explicit Rig(const discgen::DiscPlan& plan, AudioOutputFactory output = {})
      : TestDisc(plan), DeviceRig(cue, std::move(output)) {}
};
}  // namespace

TEST(CdioDeviceToc, TracksInMsFromTheDiscStartWithAndWithoutAPregap) {
  // Odd lengths make ms round down; track 3 has an INDEX 00 of two seconds.
  discgen::DiscPlan plan = counterDisc({600, 601, 300, 300});
  plan.tracks[2].pregapSectors = 150;
  plan.tracks[3].kind = discgen::TrackPlan::Kind::Data;
  Rig r(plan);
  ASSERT_EQ(r.dev.tracks(), 4);
  const int32_t want[][2] = {{2000, 8000}, {10000, 10013}, {20013, 4000}, {24013, 4000}};
  for (int32_t t = 1; t <= 4; ++t) {
    EXPECT_EQ(r.dev.trackPosition(t), want[t - 1][0]) << "track " << t;
    EXPECT_EQ(r.dev.trackLength(t), want[t - 1][1]) << "track " << t << "; a pregap counts before";
  }
  EXPECT_EQ(r.dev.position(), 2000);
}

TEST(CdioDevicePlayback, PlaysFromToOnWithoutAGapSkipsDataAndStopsAtTrackOneAtTheEnd) {
  discgen::DiscPlan plan = counterDisc({150, 75, 75, 150});
  plan.tracks[2].kind = discgen::TrackPlan::Kind::Data;
  Rig r(plan);
  const int32_t to = r.dev.trackPosition(2) - 500;  // inside a sector
  r.dev.seek(to);
  EXPECT_EQ(r.dev.position(), to) << "right after seek the position is To";
  r.act([&] { r.dev.play(); });
  r.run(2000);
  const int64_t n = 1500 * 441 / 10, m = 500 * 441 / 10, tail = 300 * 441 / 10;
  EXPECT_EQ(r.heard(0, n), r.samples(frameOfMs(to) - frameOfLsn(0), n));
  EXPECT_EQ(r.heard(n, m), r.samples(300 * 588, m)) << "track 4 follows track 2 at once";
  EXPECT_TRUE(r.at(r.dev.trackPosition(4) + 500)) << r.dev.position();

  r.act([&] { r.dev.seek(r.dev.trackPosition(4) + r.dev.trackLength(4) - 300); });
  r.act([&] { r.dev.play(); });
  r.run(200);
  EXPECT_EQ(r.dev.mode(), DeviceMode::Playing) << "the end is not heard yet";
  r.run(400);
  EXPECT_TRUE(QTest::qWaitFor([&] { return r.dev.mode() == DeviceMode::Stopped; }));
  EXPECT_EQ(r.dev.position(), 2000);
  EXPECT_EQ(r.heard(n + m, tail), r.samples(450 * 588 - tail, tail));
  QTest::qWait(50);
  EXPECT_EQ(r.locked([](World& s) { return s.total(); }), n + m + tail) << "nothing past the end";
}

TEST(CdioDevicePlayback, PositionFollowsTheClockAndTheTransportNeitherSkipsNorRepeats) {
  Rig r(counterDisc({900, 300, 300}));
  r.act([&] { r.dev.play(); });
  r.run(1000);
  EXPECT_TRUE(r.at(3000)) << r.dev.position();
  QTest::qWait(60);
  EXPECT_EQ(r.dev.position(), 3000) << "the position does not run ahead of the clock";
  r.act([&] { r.dev.pause(); });
  EXPECT_EQ(r.dev.mode(), DeviceMode::Paused);
  r.run(500);
  EXPECT_TRUE(r.at(3000));
  r.act([&] { r.dev.pause(); });  // pause again resumes
  EXPECT_EQ(r.dev.mode(), DeviceMode::Playing);
  r.run(250);
  r.act([&] { r.dev.stop(); });
  EXPECT_EQ(r.dev.mode(), DeviceMode::Stopped);
  EXPECT_TRUE(r.at(3250)) << "stop keeps the position, " << r.dev.position();
  r.run(300);
  r.act([&] { r.dev.play(); });
  r.run(250);
  EXPECT_EQ(r.heard(0, 66150), r.samples(0, 66150)) << "the disc from its start, no gap, no repeat";
  EXPECT_TRUE(r.at(3500));

  // The device's side of next and previous (their targets: transport_test).
  r.act([&] { r.dev.next(); });
  EXPECT_EQ(r.dev.position(), r.dev.trackPosition(2));
  EXPECT_EQ(r.dev.mode(), DeviceMode::Playing) << "next keeps playing";
  r.run(1000);
  r.act([&] { r.dev.previous(); });
  EXPECT_EQ(r.dev.position(), 2000) << "within 3 s of its start: the track before";
  r.act([&] { r.dev.stop(); });
  r.dev.next();
  EXPECT_EQ(r.dev.mode(), DeviceMode::Stopped) << "next does not start a stopped disc";
  r.dev.eject();
  EXPECT_EQ(r.dev.mode(), DeviceMode::NoDisc);
  EXPECT_EQ(r.dev.tracks(), 0);
  EXPECT_EQ(r.dev.position(), 0);
  EXPECT_FALSE(r.dev.canEject());
}
