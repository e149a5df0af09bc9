#include <gtest/gtest.h>

#include "disc/MMControl.h"
#include "disc/VirtualCdDevice.h"
#include "disc/modFunciones.h"
#include "support/ManualClock.h"

using namespace modFunciones;

namespace {
void loadThreeTracks() {
  ResetState();
  SetTrackRow(1, 2000, 198000);
  SetTrackRow(2, 200000, 200000);
  SetTrackRow(3, 400000, 150000);
}
}  // namespace

TEST(FindTrack, LooksUpTheTrackHoldingAPosition) {
  loadThreeTracks();
  struct Case {
    int32_t position;
    int16_t count;
    int16_t expected;
  };
  const Case cases[] = {
      {2000, 3, 1},      {101000, 3, 1}, {199999, 3, 1}, {200000, 3, 2},
      {399999, 3, 2},    {400000, 3, 3}, {549999, 3, 3}, {550000, 3, 0},
      {1999, 3, 0},      {0, 3, 0},      {-5, 3, 0},     {INT32_MAX, 3, 0},
      {INT32_MIN, 3, 0}, {101000, 0, 0}, {400000, 2, 0}, {101000, -1, 0},
  };
  for (const Case& c : cases)
    EXPECT_EQ(FindTrack(c.position, c.count), c.expected)
        << "position " << c.position << " count " << c.count;
}

TEST(FindTrack, GapsAndFirstMatch) {
  ResetState();
  SetTrackRow(1, 2000, 1000);  // [2000, 3000)
  SetTrackRow(2, 5000, 1000);  // gap before it
  SetTrackRow(3, 5500, 1000);  // overlaps track 2: the first match wins
  EXPECT_EQ(FindTrack(4000, 3), 0);
  EXPECT_EQ(FindTrack(3000, 3), 0);
  EXPECT_EQ(FindTrack(5600, 3), 2);
  EXPECT_EQ(FindTrack(6200, 3), 3);
}

TEST(FindTrack, CountsAboveTheTableLookOnlyAtItsRows) {
  ResetState();
  for (int16_t i = 1; i <= kMaxTracks; ++i) SetTrackRow(i, i * 1000, 1000);
  EXPECT_EQ(FindTrack(99 * 1000 + 10, 150), 99);
  EXPECT_EQ(FindTrack(100 * 1000 + 10, INT16_MAX), 0);
}

TEST(TrackRows, RowZeroAndRowsPastTheTableAreNeverWritten) {
  ResetState();
  SetTrackRow(0, 5, 5);
  SetTrackRow(100, 5, 5);
  SetTrackRow(-1, 5, 5);
  for (const TrackEntry& row : TrackTable) {
    EXPECT_EQ(row.start, 0);
    EXPECT_EQ(row.end, 0);
  }
  SetTrackRow(7, INT32_MAX - 10, 1000);
  EXPECT_EQ(TrackTable[7].end, INT32_MAX) << "end saturates instead of wrapping";
  EXPECT_EQ(TableTrackCount(-3), 0);
  EXPECT_EQ(TableTrackCount(12), 12);
  EXPECT_EQ(TableTrackCount(250), 99);
}

TEST(RefreshCurrentTrack, SetsTheRangeOfTheTrackAtThePosition) {
  loadThreeTracks();
  ManualClock clock;
  MMControl control(std::make_unique<VirtualCdDevice>(threeTrackDisc(), clock.clock()));
  control.setDeviceType("CDAudio");
  control.Command("Open");

  RefreshCurrentTrack(control);
  EXPECT_EQ(CurrentStart, 2000);
  EXPECT_EQ(CurrentEnd, 200000);
  EXPECT_EQ(SeekLeftLimit, 100);
  EXPECT_EQ(SeekRightLimit, 3750);

  control.setTo(450000);
  control.Command("seek");
  RefreshCurrentTrack(control);
  EXPECT_EQ(CurrentStart, 400000);
  EXPECT_EQ(CurrentEnd, 550000);
}

TEST(RefreshCurrentTrack, APositionInNoTrackGivesAnEmptyRange) {
  ResetState();  // nothing in the table: every position is in no track
  ManualClock clock;
  MMControl control(std::make_unique<VirtualCdDevice>(threeTrackDisc(), clock.clock()));
  control.setDeviceType("CDAudio");
  control.Command("Open");
  RefreshCurrentTrack(control);
  EXPECT_EQ(CurrentStart, 0);
  EXPECT_EQ(CurrentEnd, 0);
  EXPECT_EQ(SeekRightLimit, 3750);
}
