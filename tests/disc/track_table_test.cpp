#include <gtest/gtest.h>

#include "disc/MMControl.h"
#include "disc/VirtualCdDevice.h"
#include "disc/modFunciones.h"
#include "support/ManualClock.h"

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

TEST(RefreshCurrentTrack, SetsTheRangeOfTheTrackAtThePositionOrAnEmptyOne) {
  ResetState();
  ManualClock clock;
  MMControl control(std::make_unique<VirtualCdDevice>(threeTrackDisc(), clock.clock()));
  control.setDeviceType("CDAudio");
  control.Command("Open");
  RefreshCurrentTrack(control);  // nothing in the table yet: no track
  EXPECT_EQ(CurrentStart, 0);
  EXPECT_EQ(CurrentEnd, 0);
  EXPECT_EQ(SeekLeftLimit, 100);
  EXPECT_EQ(SeekRightLimit, 3750);

  SetTrackRow(1, 2000, 198000);
  SetTrackRow(3, 400000, 150000);
  control.setTo(450000);
  control.Command("seek");
  RefreshCurrentTrack(control);
  EXPECT_EQ(CurrentStart, 400000);
  EXPECT_EQ(CurrentEnd, 550000);
}
