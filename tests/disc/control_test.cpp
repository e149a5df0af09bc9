#include <gtest/gtest.h>

#include <memory>

#include "disc/MMControl.h"
#include "disc/Transport.h"
#include "disc/VirtualCdDevice.h"
#include "disc/modFunciones.h"
#include "support/ManualClock.h"

// The control the window drives, on the virtual disc (the window tests'
// device; the real one's transport: playback_test.cpp): the transport rules
// every device follows (once for all of them), its command words and the
// track table filled from it.
TEST(Transport, PreviousNextAndSeekTargets) {
  const std::vector<TocEntry> disc = threeTrackDisc(), none;
  const struct {
    int32_t ms, previous, next, seek;
  } cases[] = {
      {0, 2000, 2000, 2000},  // before track 1
      {2000, 2000, 200000, 2000},
      {101000, 2000, 200000, 101000},
      {202999, 2000, 400000, 202999},  // within its first 3 s: the track before
      {203000, 200000, 400000, 203000},
      {410000, 400000, 400000, 410000},  // the last: its own
      {549999, 400000, 400000, 549999},
      {INT32_MAX, 400000, 400000, 550000},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.ms);
    EXPECT_EQ(previousTarget(disc, c.ms), c.previous);
    EXPECT_EQ(nextTarget(disc, c.ms), c.next);
    EXPECT_EQ(clampToDisc(disc, c.ms), c.seek);
  }
  EXPECT_EQ(tocRow(disc, 4).start, 0);
  EXPECT_EQ(leadOut(none) + previousTarget(none, 5) + nextTarget(none, 5) + clampToDisc(none, 5),
            0);
}

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

TEST(VirtualDevice, PlaysPausesAndSeeksWithItsClockLikeADrive) {
  Rig rig({{2000, 10000, true}, {12000, 5000, false}, {17000, 10000, true}});
  MMControl& c = *rig.control;
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
      {1000, 3500, M::Stopped, "play"},  // stop keeps the position
      {1000, 4500, M::Playing, "pause"},
      {5000, 4500, M::Paused, "seek", 11000},
      {1000, 11000, M::Paused, "play"},  // a paused disc stays paused where it is sent
      {1500, 17000, M::Playing, ""},     // the data track is skipped
      {9999, 26999, M::Playing, ""},
      {1, 2000, M::Stopped, "eject"},  // off the last track: stopped at track 1
      {0, 0, M::NoDisc, "play"},
  };
  for (size_t i = 0; i < std::size(steps); ++i) {
    SCOPED_TRACE(testing::Message() << "step " << i);
    rig.clock.advance(steps[i].ms);
    EXPECT_EQ(c.Position(), steps[i].position);
    EXPECT_EQ(c.Mode(), steps[i].mode);
    if (*steps[i].word) rig.send(steps[i].word, steps[i].to);
  }
  EXPECT_EQ(c.Tracks(), 0);
}

TEST(VirtualDevice, CommandWordsIgnoreCaseAndNeedAnOpenCdAudioDevice) {
  Rig rig(threeTrackDisc(), "WaveAudio");
  rig.send("Play");
  EXPECT_EQ(rig.control->Mode(), DeviceMode::NotOpen);
  rig.control->setDeviceType("cdaudio");
  for (const char* word : {"OPEN", "pLaY", "rewind", "NeXt"}) rig.send(word);
  rig.clock.advance(1000);
  EXPECT_EQ(rig.control->Position(), 201000);
  rig.send("CLOSE");
  EXPECT_EQ(rig.control->Mode(), DeviceMode::NotOpen);
  EXPECT_EQ(rig.control->Position(), 0);
  EXPECT_EQ(rig.device->log(), (std::vector<std::string>{"open", "play", "next", "close"}));
}

using namespace modFunciones;

TEST(FindTrack, LooksUpTheTrackHoldingAPosition) {
  ResetState();
  int16_t row = 0;
  for (const TocEntry& t : threeTrackDisc()) SetTrackRow(++row, t.start, t.length);
  SetTrackRow(4, 560000, 1000);  // after a gap
  SetTrackRow(5, 560500, 1000);  // overlaps track 4: the first match wins
  struct Case {
    int32_t position;
    int16_t count;
    int16_t expected;
  } const cases[] = {
      {2000, 3, 1},   {199999, 3, 1},  {200000, 3, 2}, {399999, 3, 2},    {549999, 3, 3},
      {550000, 3, 0}, {1999, 3, 0},    {-5, 3, 0},     {INT32_MIN, 3, 0}, {101000, 0, 0},
      {400000, 2, 0}, {101000, -1, 0}, {555000, 5, 0}, {560600, 5, 4},    {561200, 5, 5},
  };
  for (const Case& c : cases)
    EXPECT_EQ(FindTrack(c.position, c.count), c.expected)
        << "position " << c.position << " count " << c.count;
}

TEST(TrackRows, TheTableNeverGrowsPastRow99AndRowZeroStaysZero) {
  ResetState();
  for (int16_t i = -1; i <= 100; ++i) SetTrackRow(i, i * 1000, 1000);
  EXPECT_EQ(TrackTable[0].end, 0);
  EXPECT_EQ(TrackTable[99].start, 99000);
  EXPECT_EQ(FindTrack(99500, 150), 99) << "counts above 99 look at rows 1..99";
  EXPECT_EQ(FindTrack(100500, INT16_MAX), 0);
  SetTrackRow(7, INT32_MAX - 10, 1000);
  EXPECT_EQ(TrackTable[7].end, INT32_MAX) << "end saturates instead of wrapping";
  EXPECT_EQ(TableTrackCount(-3), 0);
  EXPECT_EQ(TableTrackCount(250), 99);
}

TEST(RefreshCurrentTrack, GivesAnEmptyRangeWithoutATrackAtThePosition) {
  ResetState();
  Rig rig;
  RefreshCurrentTrack(*rig.control);  // nothing in the table yet: no track
  EXPECT_EQ(CurrentStart, 0);
  EXPECT_EQ(CurrentEnd, 0);
  EXPECT_EQ(SeekLeftLimit, 100);
  EXPECT_EQ(SeekRightLimit, 3750);
  // With a table: lifecycle_test.cpp and playback_view_test.cpp.
}
