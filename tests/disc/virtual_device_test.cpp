#include <gtest/gtest.h>

#include <memory>

#include "disc/MMControl.h"
#include "disc/Transport.h"
#include "disc/VirtualCdDevice.h"
#include "support/ManualClock.h"

namespace {
struct Rig {
  ManualClock clock;
  VirtualCdDevice* device = nullptr;
  std::unique_ptr<MMControl> control;

  explicit Rig(std::vector<TocEntry> toc = threeTrackDisc(), const char* type = "CDAudio") {
    auto owned = std::make_unique<VirtualCdDevice>(std::move(toc), clock.clock());
    device = owned.get();
    control = std::make_unique<MMControl>(std::move(owned));
    control->setDeviceType(type);
    control->Command("Open");
  }
  void send(const char* word, int32_t to = 0) {
    control->setTo(to);
    control->Command(word);
  }
};
}  // namespace

TEST(VirtualDevice, PlaysPausesSeeksAndSkipsTracksLikeADrive) {
  Rig rig;
  MMControl& c = *rig.control;
  EXPECT_EQ(c.Tracks(), 3);
  c.setTrack(2);
  EXPECT_EQ(c.TrackPosition(), 200000);
  EXPECT_EQ(c.TrackLength(), 200000);
  // Each step: a command word ("": none, To for seek), the position and mode
  // right after it, then the time that passes.
  using M = DeviceMode;
  const struct {
    const char* word;
    int32_t to, position;
    M mode;
    int64_t ms;
  } steps[] = {
      {"", 0, 2000, M::Stopped, 5000},  // opened at the start of track 1
      {"Play", 0, 2000, M::Playing, 1500},
      {"stop", 0, 3500, M::Stopped, 10000},
      {"", 0, 3500, M::Stopped, 0},  // stop keeps the position
      {"seek", 300000, 300000, M::Stopped, 1000},
      {"play", 0, 300000, M::Playing, 0},
      {"seek", 101000, 101000, M::Stopped, 0},  // seek stops a playing disc
      {"play", 0, 101000, M::Playing, 1000},
      {"pause", 0, 102000, M::Paused, 5000},
      {"pause", 0, 102000, M::Playing, 500},  // pause again resumes
      {"pause", 0, 102500, M::Paused, 0},
      {"play", 0, 102500, M::Playing, 0},  // so does play
      {"seek", 0, 2000, M::Stopped, 0},    // seeks are brought onto the disc
      {"seek", -40000, 2000, M::Stopped, 0},
      {"seek", INT32_MAX, 550000, M::Stopped, 0},
      {"seek", 549000, 549000, M::Stopped, 0},
      {"play", 0, 549000, M::Playing, 999},
      {"", 0, 549999, M::Playing, 1},
      {"", 0, 2000, M::Stopped, 0},  // off the last track: stopped at track 1
      {"play", 0, 2000, M::Playing, 100},
      {"", 0, 2100, M::Playing, 0},
      {"seek", 250000, 250000, M::Stopped, 0},
      {"play", 0, 250000, M::Playing, 0},
      {"next", 0, 400000, M::Playing, 0},
      {"next", 0, 400000, M::Playing, 10000},  // the last track: its own start
      {"prev", 0, 400000, M::Playing, 2999},   // the current track's start
      {"prev", 0, 200000, M::Playing, 3000},   // again within 3 s: the one before
      {"prev", 0, 200000, M::Playing, 0},      // 3 s later: the current one's start
      {"prev", 0, 2000, M::Playing, 0},
      {"prev", 0, 2000, M::Playing, 0},  // track 1 stays at its start
      {"eject", 0, 0, M::NoDisc, 0},
      {"seek", 5000, 0, M::NoDisc, 0},
      {"play", 0, 0, M::NoDisc, 0},
  };
  for (size_t i = 0; i < std::size(steps); ++i) {
    SCOPED_TRACE(testing::Message() << "step " << i << " " << steps[i].word);
    if (*steps[i].word) rig.send(steps[i].word, steps[i].to);
    EXPECT_EQ(c.Position(), steps[i].position);
    EXPECT_EQ(c.Mode(), steps[i].mode);
    rig.clock.advance(steps[i].ms);
  }
  EXPECT_EQ(c.Tracks(), 0);

  Rig data({{2000, 10000, true}, {12000, 5000, false}, {17000, 10000, true}});
  data.send("seek", 11000);
  data.send("play");
  data.clock.advance(1500);
  EXPECT_EQ(data.control->Position(), 17000) << "the data track is skipped";
  data.clock.advance(500);
  EXPECT_EQ(data.control->Position(), 17500);
}

TEST(VirtualDevice, CommandWordsIgnoreCaseAndNeedAnOpenCdAudioDevice) {
  Rig rig(threeTrackDisc(), "WaveAudio");
  rig.send("Play");
  EXPECT_EQ(rig.control->Mode(), DeviceMode::NotOpen);
  EXPECT_EQ(rig.control->Tracks(), 0);
  EXPECT_TRUE(rig.device->log().empty());
  rig.control->setDeviceType("cdaudio");
  for (const char* word : {"OPEN", "pLaY", "rewind"}) rig.send(word);
  rig.clock.advance(1000);
  EXPECT_EQ(rig.control->Position(), 3000);
  rig.send("CLOSE");
  EXPECT_EQ(rig.control->Mode(), DeviceMode::NotOpen);
  EXPECT_EQ(rig.control->Position(), 0);
  EXPECT_EQ(rig.device->log(), (std::vector<std::string>{"open", "play", "close"}));
}

TEST(Transport, TargetsOnAnEmptyTableAndBeforeTrackOne) {
  const std::vector<TocEntry> none;
  EXPECT_EQ(leadOut(none), 0);
  EXPECT_EQ(previousTarget(none, 5000, true), 0);
  EXPECT_EQ(nextTarget(none, 5000), 0);
  EXPECT_EQ(clampToDisc(none, 5000), 0);
  EXPECT_EQ(nextTarget(threeTrackDisc(), 0), 2000);
  EXPECT_EQ(previousTarget(threeTrackDisc(), 0, false), 2000);
}
