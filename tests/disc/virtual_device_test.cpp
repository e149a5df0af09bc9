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

  explicit Rig(std::vector<TocEntry> toc = threeTrackDisc()) {
    auto owned = std::make_unique<VirtualCdDevice>(std::move(toc), clock.clock());
    device = owned.get();
    control = std::make_unique<MMControl>(std::move(owned));
    control->setDeviceType("CDAudio");
    control->Command("Open");
  }
  void jump(int32_t ms) {
    control->Command("stop");
    control->setTo(ms);
    control->Command("seek");
    control->Command("play");
  }
};
}  // namespace

TEST(VirtualDevice, PlaysStopsAndSeeksLikeADrive) {
  Rig rig;
  MMControl& c = *rig.control;
  EXPECT_EQ(c.Mode(), DeviceMode::Stopped);
  EXPECT_EQ(c.Position(), 2000) << "open puts the position at the start of track 1";
  EXPECT_EQ(c.Tracks(), 3);
  c.setTrack(2);
  EXPECT_EQ(c.TrackPosition(), 200000);
  EXPECT_EQ(c.TrackLength(), 200000);

  rig.clock.advance(5000);
  EXPECT_EQ(c.Position(), 2000) << "a stopped disc does not move";
  c.Command("Play");
  rig.clock.advance(1500);
  EXPECT_EQ(c.Position(), 3500);
  EXPECT_EQ(c.Mode(), DeviceMode::Playing);

  c.Command("stop");
  rig.clock.advance(10000);
  EXPECT_EQ(c.Position(), 3500) << "stop keeps the position";

  c.setTo(300000);
  c.Command("seek");
  EXPECT_EQ(c.Position(), 300000) << "seek works while stopped";
  EXPECT_EQ(c.Mode(), DeviceMode::Stopped);

  rig.jump(101000);
  rig.clock.advance(200);
  EXPECT_EQ(c.Position(), 101200);
  EXPECT_EQ(rig.device->log(), (std::vector<std::string>{"open", "play", "stop", "seek 300000",
                                                         "stop", "seek 101000", "play"}));
}

TEST(VirtualDevice, CommandWordsIgnoreCaseAndNeedAnOpenCdAudioDevice) {
  ManualClock clock;
  auto owned = std::make_unique<VirtualCdDevice>(threeTrackDisc(), clock.clock());
  VirtualCdDevice* device = owned.get();
  MMControl c(std::move(owned));
  c.Command("Play");
  c.Command("Open");  // no device type yet
  EXPECT_EQ(c.Mode(), DeviceMode::NotOpen);
  EXPECT_EQ(c.Tracks(), 0);
  EXPECT_EQ(c.Position(), 0);
  EXPECT_TRUE(device->log().empty());

  c.setDeviceType("cdaudio");
  c.Command("OPEN");
  c.Command("pLaY");
  c.Command("rewind");  // not a word the device knows: ignored
  clock.advance(1000);
  EXPECT_EQ(c.Position(), 3000);
  c.Command("CLOSE");
  EXPECT_EQ(c.Mode(), DeviceMode::NotOpen);
  EXPECT_EQ(c.Position(), 0);
  EXPECT_EQ(device->log(), (std::vector<std::string>{"open", "play", "close"}));
}

TEST(VirtualDevice, SeeksOutsideTheDiscAreBroughtOntoIt) {
  Rig rig;
  MMControl& c = *rig.control;
  c.setTo(0);
  c.Command("seek");
  EXPECT_EQ(c.Position(), 2000);
  c.setTo(-40000);
  c.Command("seek");
  EXPECT_EQ(c.Position(), 2000);
  c.setTo(INT32_MAX);
  c.Command("seek");
  EXPECT_EQ(c.Position(), 550000);
  c.Command("play");
  rig.clock.advance(1);
  EXPECT_EQ(c.Mode(), DeviceMode::Stopped) << "playing from the lead-out ends the disc";
  EXPECT_EQ(c.Position(), 2000);
}

TEST(VirtualDevice, RunningOffTheLastTrackStopsAtTrackOne) {
  Rig rig;
  rig.jump(549000);
  rig.clock.advance(999);
  EXPECT_EQ(rig.control->Position(), 549999);
  EXPECT_EQ(rig.control->Mode(), DeviceMode::Playing);
  rig.clock.advance(1);
  EXPECT_EQ(rig.control->Mode(), DeviceMode::Stopped);
  EXPECT_EQ(rig.control->Position(), 2000);
  rig.control->Command("play");
  rig.clock.advance(100);
  EXPECT_EQ(rig.control->Position(), 2100) << "play starts the disc again";
}

TEST(VirtualDevice, PauseResumesWithoutSkipping) {
  Rig rig;
  MMControl& c = *rig.control;
  c.Command("play");
  rig.clock.advance(1000);
  c.Command("pause");
  EXPECT_EQ(c.Mode(), DeviceMode::Paused);
  rig.clock.advance(5000);
  EXPECT_EQ(c.Position(), 3000);
  c.Command("pause");
  EXPECT_EQ(c.Mode(), DeviceMode::Playing);
  rig.clock.advance(500);
  EXPECT_EQ(c.Position(), 3500);
  c.Command("pause");
  c.Command("play");
  EXPECT_EQ(c.Mode(), DeviceMode::Playing) << "play also resumes a pause";
}

TEST(VirtualDevice, PreviousAndNextFollowTheTrackStarts) {
  Rig rig;
  MMControl& c = *rig.control;
  rig.jump(250000);
  c.Command("next");
  EXPECT_EQ(c.Position(), 400000);
  EXPECT_EQ(c.Mode(), DeviceMode::Playing) << "next keeps playing";
  c.Command("next");
  EXPECT_EQ(c.Position(), 400000) << "next on the last track goes to its start";

  rig.clock.advance(10000);
  c.Command("prev");
  EXPECT_EQ(c.Position(), 400000) << "previous goes to the start of the current track";
  rig.clock.advance(2999);
  c.Command("prev");
  EXPECT_EQ(c.Position(), 200000) << "pressed again within 3 s: the previous track";
  rig.clock.advance(3000);
  c.Command("prev");
  EXPECT_EQ(c.Position(), 200000) << "3 s later: the start of the current track again";
  c.Command("prev");
  c.Command("prev");
  EXPECT_EQ(c.Position(), 2000) << "track 1 stays at its start";

  c.Command("stop");
  c.Command("next");
  EXPECT_EQ(c.Mode(), DeviceMode::Stopped) << "next keeps a stopped disc stopped";
}

TEST(VirtualDevice, EjectLeavesNoDisc) {
  Rig rig;
  MMControl& c = *rig.control;
  c.Command("play");
  EXPECT_TRUE(c.CanEject());
  c.Command("eject");
  EXPECT_EQ(c.Mode(), DeviceMode::NoDisc);
  EXPECT_EQ(c.Tracks(), 0);
  EXPECT_EQ(c.Position(), 0);
  c.setTo(5000);
  c.Command("seek");
  c.Command("play");
  EXPECT_EQ(c.Position(), 0);
  EXPECT_EQ(c.Mode(), DeviceMode::NoDisc);
}

TEST(VirtualDevice, DataTracksAreSkipped) {
  Rig rig({{2000, 10000, true}, {12000, 5000, false}, {17000, 10000, true}});
  rig.jump(11000);
  rig.clock.advance(1500);
  EXPECT_EQ(rig.control->Position(), 17000);
  rig.clock.advance(500);
  EXPECT_EQ(rig.control->Position(), 17500);
}

TEST(Transport, TargetsOnAnEmptyOrOddTable) {
  const std::vector<TocEntry> none;
  EXPECT_EQ(leadOut(none), 0);
  EXPECT_EQ(previousTarget(none, 5000, true), 0);
  EXPECT_EQ(nextTarget(none, 5000), 0);
  EXPECT_EQ(clampToDisc(none, 5000), 0);
  const auto disc = threeTrackDisc();
  EXPECT_EQ(trackAt(disc, 199999), 1);
  EXPECT_EQ(trackAt(disc, 200000), 2);
  EXPECT_EQ(trackAt(disc, 550000), 0);
  EXPECT_EQ(nextTarget(disc, 0), 2000) << "before track 1, next goes to track 1";
  EXPECT_EQ(previousTarget(disc, 0, false), 2000);
}
