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
  int32_t after(int64_t ms) {
    clock.advance(ms);
    return control->Position();
  }
};
}  // namespace

TEST(VirtualDevice, PlaysStopsAndSeeksLikeADrive) {
  Rig rig;
  MMControl& c = *rig.control;
  EXPECT_EQ(c.Mode(), DeviceMode::Stopped);
  EXPECT_EQ(c.Tracks(), 3);
  c.setTrack(2);
  EXPECT_EQ(c.TrackPosition(), 200000);
  EXPECT_EQ(c.TrackLength(), 200000);
  EXPECT_EQ(rig.after(5000), 2000) << "opened at the start of track 1, not moving";
  rig.send("Play");
  EXPECT_EQ(rig.after(1500), 3500);
  rig.send("stop");
  EXPECT_EQ(rig.after(10000), 3500) << "stop keeps the position";
  rig.send("seek", 300000);
  EXPECT_EQ(rig.after(1000), 300000) << "seek works while stopped";
  rig.send("play");
  rig.send("seek", 101000);
  EXPECT_EQ(c.Mode(), DeviceMode::Stopped) << "seek stops a playing disc";
  rig.send("play");
  EXPECT_EQ(rig.after(200), 101200);
  EXPECT_EQ(rig.device->log(), (std::vector<std::string>{"open", "play", "stop", "seek 300000",
                                                         "play", "seek 101000", "play"}));
}

TEST(VirtualDevice, CommandWordsIgnoreCaseAndNeedAnOpenCdAudioDevice) {
  Rig rig(threeTrackDisc(), "WaveAudio");
  rig.send("Play");
  EXPECT_EQ(rig.control->Mode(), DeviceMode::NotOpen);
  EXPECT_EQ(rig.control->Tracks(), 0);
  EXPECT_TRUE(rig.device->log().empty());
  rig.control->setDeviceType("cdaudio");
  for (const char* word : {"OPEN", "pLaY", "rewind"}) rig.send(word);
  EXPECT_EQ(rig.after(1000), 3000);
  rig.send("CLOSE");
  EXPECT_EQ(rig.control->Mode(), DeviceMode::NotOpen);
  EXPECT_EQ(rig.control->Position(), 0);
  EXPECT_EQ(rig.device->log(), (std::vector<std::string>{"open", "play", "close"}));
}

TEST(VirtualDevice, SeeksOffTheDiscAndTheEndOfTheDisc) {
  Rig rig;
  for (int32_t to : {0, -40000}) {
    rig.send("seek", to);
    EXPECT_EQ(rig.control->Position(), 2000) << to;
  }
  rig.send("seek", INT32_MAX);
  EXPECT_EQ(rig.control->Position(), 550000);
  rig.send("seek", 549000);
  rig.send("play");
  EXPECT_EQ(rig.after(999), 549999);
  EXPECT_EQ(rig.after(1), 2000) << "running off the last track stops at track 1";
  EXPECT_EQ(rig.control->Mode(), DeviceMode::Stopped);
  rig.send("play");
  EXPECT_EQ(rig.after(100), 2100) << "play starts the disc again";
}

TEST(VirtualDevice, PauseResumesWithoutSkipping) {
  Rig rig;
  rig.send("play");
  rig.clock.advance(1000);
  rig.send("pause");
  EXPECT_EQ(rig.control->Mode(), DeviceMode::Paused);
  EXPECT_EQ(rig.after(5000), 3000);
  rig.send("pause");
  EXPECT_EQ(rig.after(500), 3500) << "pause again resumes";
  rig.send("pause");
  rig.send("play");
  EXPECT_EQ(rig.control->Mode(), DeviceMode::Playing) << "play also resumes";
}

TEST(VirtualDevice, PreviousNextAndEject) {
  Rig rig;
  MMControl& c = *rig.control;
  rig.send("seek", 250000);
  rig.send("play");
  rig.send("next");
  EXPECT_EQ(c.Position(), 400000);
  EXPECT_EQ(c.Mode(), DeviceMode::Playing) << "next keeps playing";
  rig.send("next");
  EXPECT_EQ(c.Position(), 400000) << "next on the last track goes to its start";
  rig.clock.advance(10000);
  rig.send("prev");
  EXPECT_EQ(c.Position(), 400000) << "previous: the start of the current track";
  rig.clock.advance(2999);
  rig.send("prev");
  EXPECT_EQ(c.Position(), 200000) << "again within 3 s: the previous track";
  rig.clock.advance(3000);
  rig.send("prev");
  EXPECT_EQ(c.Position(), 200000) << "3 s later: the current track's start again";
  rig.send("prev");
  rig.send("prev");
  EXPECT_EQ(c.Position(), 2000) << "track 1 stays at its start";

  rig.send("eject");
  EXPECT_EQ(c.Mode(), DeviceMode::NoDisc);
  rig.send("seek", 5000);
  rig.send("play");
  EXPECT_EQ(c.Tracks(), 0);
  EXPECT_EQ(c.Position(), 0);
  EXPECT_EQ(c.Mode(), DeviceMode::NoDisc);
}

TEST(VirtualDevice, DataTracksAreSkipped) {
  Rig rig({{2000, 10000, true}, {12000, 5000, false}, {17000, 10000, true}});
  rig.send("seek", 11000);
  rig.send("play");
  EXPECT_EQ(rig.after(1500), 17000);
  EXPECT_EQ(rig.after(500), 17500);
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
