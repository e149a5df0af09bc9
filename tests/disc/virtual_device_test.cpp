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
  // Each step: time passes (ms), the position and mode are read, then a
  // command word is sent (To for seek).
  using M = DeviceMode;
  const struct {
    int64_t ms;
    int32_t position;
    M mode;
    const char* word;
    int32_t to = 0;
  } steps[] = {
      {5000, 2000, M::Stopped, "Play"},  // opened at the start of track 1
      {1500, 3500, M::Playing, "stop"},
      {10000, 3500, M::Stopped, "seek", 300000},  // stop keeps the position
      {1000, 300000, M::Stopped, "play"},
      {0, 300000, M::Playing, "seek", 101000},
      {0, 101000, M::Stopped, "play"},  // seek stops a playing disc
      {1000, 102000, M::Playing, "pause"},
      {5000, 102000, M::Paused, "pause"},
      {500, 102500, M::Playing, "pause"},  // pause again resumes
      {0, 102500, M::Paused, "seek", 150000},
      {1000, 150000, M::Paused, "play"},         // a paused disc stays paused where it is sent
      {0, 150000, M::Playing, "seek", -40000},   // play resumes it
      {0, 2000, M::Stopped, "seek", INT32_MAX},  // seeks are brought onto the disc
      {0, 550000, M::Stopped, "seek", 549000},
      {0, 549000, M::Stopped, "play"},
      {999, 549999, M::Playing, ""},
      {1, 2000, M::Stopped, "play"},  // off the last track: stopped at track 1
      {100, 2100, M::Playing, "seek", 250000},
      {0, 250000, M::Stopped, "play"},
      {0, 250000, M::Playing, "next"},
      {1000, 401000, M::Playing, "next"},
      {10000, 410000, M::Playing, "prev"},  // the last track: its own start
      {2999, 402999, M::Playing, "prev"},   // within its first 3 s: the one before
      {3000, 203000, M::Playing, "prev"},   // 3 s in: the current one's start
      {0, 200000, M::Playing, "prev"},      // at its start: the one before
      {0, 2000, M::Playing, "prev"},
      {0, 2000, M::Playing, "eject"},  // track 1 stays at its start
      {0, 0, M::NoDisc, "seek", 5000},
      {0, 0, M::NoDisc, "play"},
      {0, 0, M::NoDisc, ""},
  };
  for (size_t i = 0; i < std::size(steps); ++i) {
    SCOPED_TRACE(testing::Message() << "step " << i);
    rig.clock.advance(steps[i].ms);
    EXPECT_EQ(c.Position(), steps[i].position);
    EXPECT_EQ(c.Mode(), steps[i].mode);
    if (*steps[i].word) rig.send(steps[i].word, steps[i].to);
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
  EXPECT_EQ(previousTarget(none, 5000), 0);
  EXPECT_EQ(nextTarget(none, 5000), 0);
  EXPECT_EQ(clampToDisc(none, 5000), 0);
  EXPECT_EQ(nextTarget(threeTrackDisc(), 0), 2000);
  EXPECT_EQ(previousTarget(threeTrackDisc(), 0), 2000);
}
