#include <gtest/gtest.h>

#include <cdio/cdio.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <thread>

#include "disc/AlsaOutput.h"
#include "disc/CdioDevice.h"
#include "support/FakeAudioOutput.h"
#include "support/TestDisc.h"

namespace {

using discgen::TrackSpec;

bool eventually(const std::function<bool()>& pred, int timeoutMs = 5000) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!pred()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

int64_t frameOfLsn(int64_t lsn) {
  return (lsn + 150) * 588;
}

// A CdioDevice on an image made at test time, with an output and a clock the
// test drives.
struct Rig {
  TestDisc disc;
  ManualClockUs clock;
  std::shared_ptr<FakeAudio> audio = std::make_shared<FakeAudio>();
  std::unique_ptr<CdioDevice> dev;

  explicit Rig(discgen::DiscPlan plan) : disc(std::move(plan)) {
    audio->clock = clock.clock();
    dev = std::make_unique<CdioDevice>(disc.cue, FakeAudioOutput::factory(audio), clock.clock());
    dev->open();
  }
  // Runs a transport command and waits until the worker has carried it out
  // (the output dropped, then written to when playback goes on), so that
  // the clock the test moves next counts from there.
  void act(const std::function<void()>& command) {
    const int64_t before = written();
    const int dropsBefore = drops();
    const bool wasPlaying = dev->mode() == DeviceMode::Playing;
    command();
    if (wasPlaying) {
      EXPECT_TRUE(eventually([&] { return drops() > dropsBefore; }));
    }
    if (dev->mode() == DeviceMode::Playing) {
      EXPECT_TRUE(eventually([&] { return written() > before; }));
    }
  }
  void play() {
    act([&] { dev->play(); });
  }
  int64_t written() {
    std::lock_guard lock(audio->m);
    return audio->totalWritten;
  }
  int drops() {
    std::lock_guard lock(audio->m);
    return audio->drops;
  }
  // Moves the clock in steps of 10 ms, giving the worker a moment at each.
  void run(int ms) {
    for (int t = 0; t < ms; t += 10) {
      clock.advanceMs(10);
      std::this_thread::sleep_for(std::chrono::microseconds(300));
    }
  }
  // Frames of audio heard so far, once the worker has caught up with the clock.
  std::vector<int16_t> heard(int64_t frames) {
    EXPECT_TRUE(eventually([&] { return audio->heardFrames() >= frames; }))
        << "heard " << audio->heardFrames() << " of " << frames << " frames";
    auto s = audio->heardSamples();
    s.resize(static_cast<size_t>(frames * 2));
    return s;
  }
};

// Index of the first frame where two sample runs differ; -1 when equal.
int64_t firstDifference(const std::vector<int16_t>& a, const std::vector<int16_t>& b) {
  for (size_t i = 0; i < std::min(a.size(), b.size()); ++i)
    if (a[i] != b[i]) return static_cast<int64_t>(i / 2);
  return a.size() == b.size() ? -1 : static_cast<int64_t>(std::min(a.size(), b.size()) / 2);
}

}  // namespace

TEST(CdioDeviceToc, TracksInMsFromTheDiscStartAsADriveReportsThem) {
  // 600, 601 and 450 sectors: track 2's odd length makes ms round down.
  Rig r(counterDisc({600, 601, 450}));
  ASSERT_EQ(r.disc.error, "");
  EXPECT_EQ(r.dev->tracks(), 3);
  EXPECT_EQ(r.dev->trackPosition(1), 2000) << "track 1 at 00:02:00";
  EXPECT_EQ(r.dev->trackLength(1), 8000);
  EXPECT_EQ(r.dev->trackPosition(2), 10000);
  EXPECT_EQ(r.dev->trackLength(2), 8013) << "601 * 40 / 3, rounded down";
  EXPECT_EQ(r.dev->trackPosition(3), 18013) << "LBA 1351 * 40 / 3";
  EXPECT_EQ(r.dev->trackLength(3), 6000);
  EXPECT_EQ(r.dev->trackPosition(0), 0);
  EXPECT_EQ(r.dev->trackPosition(4), 0);
  EXPECT_EQ(r.dev->position(), 2000);
  EXPECT_EQ(r.dev->mode(), DeviceMode::Stopped);
  EXPECT_TRUE(r.dev->canEject());
}

TEST(CdioDeviceToc, PregapAndDataTrack) {
  discgen::DiscPlan plan = counterDisc({300, 300, 300});
  plan.tracks[1].pregapSectors = 150;  // INDEX 00 two seconds before track 2
  plan.tracks[2].kind = TrackSpec::Kind::Data;
  Rig r(plan);
  ASSERT_EQ(r.disc.error, "");
  ASSERT_EQ(r.dev->tracks(), 3);
  EXPECT_EQ(r.dev->trackPosition(2), 2000 + 4000 + 2000) << "track 2 starts at INDEX 01";
  EXPECT_EQ(r.dev->trackLength(1), 6000) << "the pregap counts in track 1";
  EXPECT_EQ(r.dev->trackLength(2), 4000);
  EXPECT_EQ(r.dev->trackPosition(3), 12000);
  EXPECT_EQ(r.dev->trackLength(3), 4000);
  EXPECT_EQ(r.dev->trackPosition(3) + r.dev->trackLength(3), 16000) << "the lead-out";
}

TEST(CdioDeviceToc, NoDriveMeansNoDiscAndAnEmptyList) {
  char* drive = cdio_get_default_device(nullptr);
  if (drive) {
    free(drive);
    GTEST_SKIP() << "this machine has a CD drive";
  }
  ManualClockUs clock;
  auto audio = std::make_shared<FakeAudio>();
  audio->clock = clock.clock();
  CdioDevice dev("", FakeAudioOutput::factory(audio), clock.clock());
  dev.open();
  EXPECT_EQ(dev.tracks(), 0);
  EXPECT_EQ(dev.position(), 0);
  EXPECT_EQ(dev.mode(), DeviceMode::NoDisc);
  dev.play();
  dev.next();
  dev.seek(5000);
  EXPECT_EQ(dev.position(), 0);
  EXPECT_EQ(dev.mode(), DeviceMode::NoDisc);
  EXPECT_FALSE(dev.canEject());
}

TEST(CdioDevicePlayback, SeekPlaysTheImagesSamplesFromTo) {
  Rig r(counterDisc({600, 600}));
  const int32_t to = 4567;  // not on a sector boundary
  r.dev->seek(to);
  EXPECT_EQ(r.dev->position(), to) << "right after seek the position is To";
  r.play();
  r.run(300);
  const int64_t start = CdioDevice::frameOfMs(to);
  const int64_t n = 300 * 441 / 10;
  EXPECT_EQ(firstDifference(r.heard(n), r.disc.samples(start, n)), -1);
  EXPECT_TRUE(eventually([&] { return r.dev->position() == to + 300; }))
      << "position " << r.dev->position();
  r.dev->stop();
  EXPECT_EQ(r.dev->mode(), DeviceMode::Stopped);

  // A track's start, as the list sends it, is the track's first frame.
  r.dev->seek(r.dev->trackPosition(2));
  r.play();
  r.run(100);
  const auto all = r.heard(n + 4410);
  EXPECT_EQ(firstDifference(std::vector<int16_t>(all.begin() + n * 2, all.end()),
                            r.disc.samples(frameOfLsn(600), 4410)),
            -1);
}

TEST(CdioDevicePlayback, PositionFollowsTheClockAndStopPauseResumeNeitherSkipNorRepeat) {
  Rig r(counterDisc({900}));
  r.play();
  EXPECT_EQ(r.dev->mode(), DeviceMode::Playing);
  r.run(1000);
  EXPECT_TRUE(eventually([&] { return r.dev->position() == 3000; }))
      << "position " << r.dev->position();
  std::this_thread::sleep_for(std::chrono::milliseconds(60));
  EXPECT_EQ(r.dev->position(), 3000) << "the position does not run ahead of the clock";

  r.act([&] { r.dev->pause(); });
  EXPECT_EQ(r.dev->mode(), DeviceMode::Paused);
  r.run(500);
  EXPECT_TRUE(eventually([&] { return r.dev->position() == 3000; }));
  r.act([&] { r.dev->pause(); });  // pause again resumes
  EXPECT_EQ(r.dev->mode(), DeviceMode::Playing);
  r.run(250);
  r.act([&] { r.dev->stop(); });
  EXPECT_TRUE(eventually([&] { return r.dev->position() == 3250; }))
      << "stop keeps the position, " << r.dev->position();
  r.run(300);
  r.play();
  r.run(250);
  const int64_t n = 1500 * 441 / 10;
  EXPECT_EQ(firstDifference(r.heard(n), r.disc.samples(frameOfLsn(0), n)), -1)
      << "what is heard is the disc from its start, without gaps or repeats";
  EXPECT_TRUE(eventually([&] { return r.dev->position() == 3500; }));
}

TEST(CdioDevicePlayback, ConsecutiveTracksPlayWithoutAGapAndTheDiscEndsAtTrackOne) {
  Rig r(counterDisc({150, 150, 150}));
  r.dev->seek(r.dev->trackPosition(2) - 500);
  r.play();
  r.run(1000);
  const int64_t from = frameOfLsn(150) - 500 * 441 / 10;
  const int64_t n = 1000 * 441 / 10;
  EXPECT_EQ(firstDifference(r.heard(n), r.disc.samples(from, n)), -1);

  // Off the last track: stops at the start of track 1 once the end is heard.
  r.dev->seek(r.dev->trackPosition(3) + r.dev->trackLength(3) - 300);
  r.play();
  r.run(200);
  EXPECT_EQ(r.dev->mode(), DeviceMode::Playing) << "the end is not heard yet";
  r.run(400);
  EXPECT_TRUE(eventually([&] { return r.dev->mode() == DeviceMode::Stopped; }));
  EXPECT_EQ(r.dev->position(), 2000);
  const int64_t tail = 300 * 441 / 10;
  auto all = r.heard(n + tail);
  EXPECT_EQ(firstDifference(std::vector<int16_t>(all.begin() + n * 2, all.end()),
                            r.disc.samples(frameOfLsn(450) - tail, tail)),
            -1);
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(r.audio->heardFrames(), n + tail) << "nothing is read at or past the lead-out";

  r.play();  // plays the disc again from track 1
  r.run(100);
  auto again = r.heard(n + tail + 4410);
  EXPECT_EQ(firstDifference(std::vector<int16_t>(again.begin() + (n + tail) * 2, again.end()),
                            r.disc.samples(frameOfLsn(0), 4410)),
            -1);
}

TEST(CdioDevicePlayback, DataTracksAreSkipped) {
  discgen::DiscPlan plan = counterDisc({150, 150, 150});
  plan.tracks[1].kind = TrackSpec::Kind::Data;
  Rig r(plan);
  r.dev->seek(r.dev->trackPosition(2) - 200);
  r.play();
  r.run(600);
  const int64_t before = 200 * 441 / 10;
  const int64_t after = 400 * 441 / 10;
  auto heard = r.heard(before + after);
  EXPECT_EQ(firstDifference(std::vector<int16_t>(heard.begin(), heard.begin() + before * 2),
                            r.disc.samples(frameOfLsn(150) - before, before)),
            -1);
  EXPECT_EQ(firstDifference(std::vector<int16_t>(heard.begin() + before * 2, heard.end()),
                            r.disc.samples(frameOfLsn(300), after)),
            -1)
      << "track 3 follows track 1 at once";
  EXPECT_TRUE(eventually([&] { return r.dev->position() == r.dev->trackPosition(3) + 400; }))
      << r.dev->position();

  // Playing from inside the data track starts at the next audio track.
  r.dev->stop();
  r.dev->seek(r.dev->trackPosition(2) + 100);
  r.play();
  r.run(100);
  EXPECT_TRUE(eventually([&] { return r.dev->position() == r.dev->trackPosition(3) + 100; }))
      << r.dev->position();
}

TEST(CdioDevicePlayback, ATruncatedImagePlaysSilenceForWhatIsMissingAndEnds) {
  Rig r(counterDisc({150, 150}));
  // Cut the .bin halfway into track 2, after the device has read the TOC.
  std::filesystem::resize_file(r.disc.bin, (150 + 75) * 2352);
  r.dev->seek(r.dev->trackPosition(2));
  r.play();
  r.run(2500);
  EXPECT_TRUE(eventually([&] { return r.dev->mode() == DeviceMode::Stopped; }))
      << "playback goes on to the end of the disc";
  EXPECT_EQ(r.dev->position(), 2000);
  auto heard = r.heard(150 * 588);
  EXPECT_EQ(firstDifference(std::vector<int16_t>(heard.begin(), heard.begin() + 75 * 1176),
                            r.disc.samples(frameOfLsn(150), 75 * 588)),
            -1);
  EXPECT_TRUE(std::all_of(heard.begin() + 75 * 1176, heard.end(), [](int16_t s) { return s == 0; }))
      << "the missing stretch is silence";
}

TEST(CdioDeviceTransport, PreviousNextAndEject) {
  Rig r(counterDisc({300, 300, 300}));
  r.dev->next();
  EXPECT_EQ(r.dev->position(), r.dev->trackPosition(2));
  EXPECT_EQ(r.dev->mode(), DeviceMode::Stopped) << "next does not start a stopped disc";
  r.play();
  r.run(1000);
  r.act([&] { r.dev->next(); });
  EXPECT_EQ(r.dev->position(), r.dev->trackPosition(3));
  EXPECT_EQ(r.dev->mode(), DeviceMode::Playing) << "next keeps playing";
  r.act([&] { r.dev->next(); });
  EXPECT_EQ(r.dev->position(), r.dev->trackPosition(3)) << "the last track: its own start";
  r.run(500);
  EXPECT_TRUE(eventually([&] { return r.dev->position() == r.dev->trackPosition(3) + 500; }));
  r.run(3000);  // a first press long after any other
  r.act([&] { r.dev->previous(); });
  EXPECT_EQ(r.dev->position(), r.dev->trackPosition(3)) << "to the start of the current track";
  r.run(1000);
  r.act([&] { r.dev->previous(); });
  EXPECT_EQ(r.dev->position(), r.dev->trackPosition(2)) << "again within 3 s: the previous one";
  EXPECT_EQ(r.dev->mode(), DeviceMode::Playing);
  r.run(4000);
  r.act([&] { r.dev->seek(r.dev->trackPosition(1) + 1000); });
  EXPECT_EQ(r.dev->mode(), DeviceMode::Stopped) << "seek stops playback";
  r.dev->previous();
  r.dev->previous();
  EXPECT_EQ(r.dev->position(), 2000) << "track 1 goes to its own start";

  r.play();
  r.run(200);
  r.dev->eject();
  EXPECT_EQ(r.dev->mode(), DeviceMode::NoDisc);
  EXPECT_EQ(r.dev->tracks(), 0);
  EXPECT_EQ(r.dev->position(), 0);
  EXPECT_FALSE(r.dev->canEject());
  r.dev->play();
  EXPECT_EQ(r.dev->mode(), DeviceMode::NoDisc);
  // The image file is left alone.
  EXPECT_TRUE(std::filesystem::exists(r.disc.bin));
  r.dev->close();
  EXPECT_EQ(r.dev->mode(), DeviceMode::NotOpen);
}

TEST(CdioDeviceOutput, WithoutAnOutputPlaysSilentlyPacedByTheClock) {
  Rig r(counterDisc({600}));
  r.audio->available = false;
  r.dev->play();
  r.run(700);
  EXPECT_TRUE(eventually([&] { return r.dev->position() == 2700; })) << r.dev->position();
  std::this_thread::sleep_for(std::chrono::milliseconds(60));
  EXPECT_EQ(r.dev->position(), 2700);
  EXPECT_EQ(r.audio->totalWritten, 0);
  r.dev->seek(5000);
  EXPECT_EQ(r.dev->position(), 5000);
}

TEST(CdioDeviceOutput, AnOutputFasterThanRealTimeDoesNotRunTheDiscOut) {
  // ALSA's null PCM takes audio as fast as it is given; it exists without a
  // sound card.
  TestDisc disc(counterDisc({600}));
  ManualClockUs clock;
  struct Counting : AlsaOutput {
    std::shared_ptr<std::atomic<int64_t>> frames;
    explicit Counting(std::shared_ptr<std::atomic<int64_t>> f) : AlsaOutput("null"), frames(f) {}
    int64_t write(const int16_t* p, int64_t n, const AbortSignal& abort) override {
      const int64_t w = AlsaOutput::write(p, n, abort);
      if (w > 0) *frames += w;
      return w;
    }
  };
  auto frames = std::make_shared<std::atomic<int64_t>>(0);
  CdioDevice dev(
      disc.cue, [frames] { return std::make_unique<Counting>(frames); }, clock.clock());
  dev.open();
  dev.play();
  ASSERT_TRUE(eventually([&] { return *frames > 0; })) << "the null PCM takes audio";
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_LE(*frames, Playback::kLeadFrames + Playback::kPieceSectors * 588)
      << "written ahead of a clock that stands still";
  EXPECT_EQ(dev.position(), 2000);
  EXPECT_EQ(dev.mode(), DeviceMode::Playing);
  clock.advanceMs(1000);
  EXPECT_TRUE(eventually([&] { return dev.position() == 3000; })) << dev.position();
}

namespace {
// A drive whose disc is taken out after `goodReads` reads.
struct VanishingDisc : SectorSource {
  int goodReads;
  explicit VanishingDisc(int n) : goodReads(n) {}
  bool read(int32_t, int32_t count, int16_t* out) override {
    if (goodReads-- <= 0) return false;
    std::fill(out, out + count * kSamplesPerSector, int16_t{100});
    return true;
  }
  bool present() override { return goodReads > 0; }
  void eject() override {}
  bool isDrive() const override { return true; }
};
}  // namespace

namespace {
// An image that notes the furthest sector asked of it.
struct WatchedDisc : SectorSource {
  std::unique_ptr<CdioDisc> disc;
  std::shared_ptr<std::atomic<int32_t>> furthest;
  bool read(int32_t lsn, int32_t count, int16_t* out) override {
    int32_t end = lsn + count;
    for (int32_t f = *furthest; end > f && !furthest->compare_exchange_weak(f, end);) {
    }
    return disc->read(lsn, count, out);
  }
  bool present() override { return disc->present(); }
  void eject() override { disc->eject(); }
  bool isDrive() const override { return false; }
};
}  // namespace

TEST(CdioDeviceOutput, NothingIsReadAtOrPastTheLeadOut) {
  // 1 s + 7 sectors: the last read of the disc is a short one.
  TestDisc disc(counterDisc({82}));
  ManualClockUs clock;
  auto audio = std::make_shared<FakeAudio>();
  audio->clock = clock.clock();
  auto watched = std::make_unique<WatchedDisc>();
  watched->disc = CdioDisc::open(disc.cue, nullptr);
  ASSERT_TRUE(watched->disc);
  const DiscToc toc = watched->disc->toc();
  ASSERT_EQ(toc.leadOutLsn, 82);
  auto furthest = watched->furthest = std::make_shared<std::atomic<int32_t>>(0);
  Playback p(std::move(watched), toc, FakeAudioOutput::factory(audio), clock.clock());
  p.play();
  for (int i = 0; i < 300 && p.mode() == DeviceMode::Playing; ++i) {
    clock.advanceMs(10);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_TRUE(eventually([&] { return p.mode() == DeviceMode::Stopped; }));
  EXPECT_EQ(furthest->load(), 82) << "the read ends at the lead-out";
  EXPECT_EQ(audio->heardFrames(), 82 * 588);
}

TEST(CdioDeviceOutput, TheDiscRemovedWhilePlayingStopsPlayback) {
  ManualClockUs clock;
  auto audio = std::make_shared<FakeAudio>();
  audio->clock = clock.clock();
  DiscToc toc{{{0, 7500, true}}, 7500};
  Playback p(std::make_unique<VanishingDisc>(2), toc, FakeAudioOutput::factory(audio),
             clock.clock());
  p.play();
  for (int i = 0; i < 200 && p.mode() == DeviceMode::Playing; ++i) {
    clock.advanceMs(10);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_TRUE(eventually([&] { return p.mode() == DeviceMode::NoDisc; }));
  EXPECT_EQ(p.position(), 0);
}
