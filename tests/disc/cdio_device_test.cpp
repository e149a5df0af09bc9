#include <gtest/gtest.h>

#include <QTest>
#include <atomic>
#include <chrono>
#include <thread>

#include "disc/AlsaOutput.h"
#include "disc/CdioDevice.h"
#include "disc/Writer.h"
#include "support/FakePlayback.h"
#include "support/TestDisc.h"

namespace {

// A CdioDevice on an image made at test time, with an output and a clock the
// test drives.
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
  const int64_t n = 1500 * 441 / 10, m = 500 * 441 / 10;
  EXPECT_EQ(r.heard(0, n), r.samples(frameOfMs(to) - 150 * 588, n));
  EXPECT_EQ(r.heard(n, m), r.samples(300 * 588, m)) << "track 4 follows track 2 at once";
  EXPECT_TRUE(r.at(r.dev.trackPosition(4) + 500)) << r.dev.position();

  r.dev.seek(r.dev.trackPosition(4) + r.dev.trackLength(4) - 300);
  r.act([&] { r.dev.play(); });
  r.run(200);
  EXPECT_EQ(r.dev.mode(), DeviceMode::Playing) << "the end is not heard yet";
  r.run(400);
  EXPECT_TRUE(QTest::qWaitFor([&] { return r.dev.mode() == DeviceMode::Stopped; }));
  EXPECT_EQ(r.dev.position(), 2000);
  const int64_t tail = 300 * 441 / 10;
  EXPECT_EQ(r.heard(n + m, tail), r.samples(450 * 588 - tail, tail));
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(r.audio.pcm.size(), (n + m + tail) * 2) << "nothing is heard past the lead-out";
}

TEST(CdioDevicePlayback, PositionFollowsTheClockAndStopPauseResumeNeitherSkipNorRepeat) {
  Rig r(counterDisc({900}));
  r.act([&] { r.dev.play(); });
  r.run(1000);
  EXPECT_TRUE(r.at(3000)) << r.dev.position();
  std::this_thread::sleep_for(std::chrono::milliseconds(60));
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
  const int64_t n = 1500 * 441 / 10;
  EXPECT_EQ(r.heard(0, n), r.samples(0, n)) << "the disc from its start, no gap, no repeat";
  EXPECT_TRUE(r.at(3500));
}

TEST(CdioDeviceTransport, PreviousNextAndEject) {
  Rig r(counterDisc({300, 300, 300}));
  r.dev.next();
  EXPECT_EQ(r.dev.position(), r.dev.trackPosition(2));
  EXPECT_EQ(r.dev.mode(), DeviceMode::Stopped) << "next does not start a stopped disc";
  r.act([&] { r.dev.play(); });
  r.run(1000);
  r.act([&] { r.dev.next(); });
  EXPECT_EQ(r.dev.position(), r.dev.trackPosition(3));
  EXPECT_EQ(r.dev.mode(), DeviceMode::Playing) << "next keeps playing";
  r.run(500);
  r.act([&] { r.dev.next(); });
  EXPECT_EQ(r.dev.position(), r.dev.trackPosition(3)) << "the last track: its own start";
  r.run(3500);
  r.act([&] { r.dev.previous(); });
  EXPECT_EQ(r.dev.position(), r.dev.trackPosition(3)) << "3.5 s in: the start of the current track";
  r.run(2990);
  r.act([&] { r.dev.previous(); });
  EXPECT_EQ(r.dev.position(), r.dev.trackPosition(2)) << "within its first 3 s: the previous one";
  r.run(3000);
  r.act([&] { r.dev.previous(); });
  EXPECT_EQ(r.dev.position(), r.dev.trackPosition(2)) << "3 s in: the current one's start";
  r.act([&] { r.dev.previous(); });
  r.act([&] { r.dev.previous(); });
  EXPECT_EQ(r.dev.position(), 2000) << "track 1 goes to its own start";

  r.dev.eject();
  EXPECT_EQ(r.dev.mode(), DeviceMode::NoDisc);
  EXPECT_EQ(r.dev.tracks(), 0);
  EXPECT_EQ(r.dev.position(), 0);
  EXPECT_FALSE(r.dev.canEject());
}

TEST(CdioDeviceOutput, AnOutputThatTakesAudioAtOnceOrNoneAtAllDoesNotRunTheDiscOut) {
  // ALSA's null PCM takes audio as fast as it is given, without a sound card.
  struct CountingPcm : AlsaOutput {
    std::atomic<int64_t>* frames;
    CountingPcm(const char* name, std::atomic<int64_t>* f) : AlsaOutput(name), frames(f) {}
    int64_t write(const int16_t* p, int64_t n, const AbortSignal& abort) override {
      const int64_t w = AlsaOutput::write(p, n, abort);
      if (w > 0) *frames += w;
      return w;
    }
  };
  for (const char* pcm : {"null", "velmar_no_such_pcm"}) {
    SCOPED_TRACE(pcm);
    std::atomic<int64_t> frames = 0;
    Rig r(counterDisc({600}), [&] { return std::make_unique<CountingPcm>(pcm, &frames); });
    r.dev.play();
    ASSERT_TRUE(pcm[0] != 'n' || QTest::qWaitFor([&] { return frames > 0; })) << "it takes audio";
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_LE(frames, pcm[0] == 'n' ? Writer::kLeadFrames + Writer::kPieceSectors * 588 : 0)
        << "written ahead of a clock that stands still";
    EXPECT_EQ(r.dev.position(), 2000);
    EXPECT_EQ(r.dev.mode(), DeviceMode::Playing);
    r.audio.now += 1000000;
    EXPECT_TRUE(r.at(3000)) << r.dev.position();
  }
}
