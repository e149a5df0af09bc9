#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "view/SeekMath.h"

using namespace seekmath;

namespace {
// The first track of the three-track disc, with the limits every refresh sets.
constexpr int32_t kStart = 2000;
constexpr int32_t kEnd = 200000;
constexpr int32_t kLeft = 100;
constexpr int16_t kRight = 3750;
}  // namespace

TEST(SeekMath, ThumbRunsFromZeroToTheSpanOfTheLimits) {
  EXPECT_NEAR(ThumbLeft(61500, kStart, kEnd, kLeft, kRight), 1096.84, 0.005);
  EXPECT_EQ(ThumbLeft(61500, kStart, kEnd, kLeft, kRight),
            static_cast<float>(59500.0 * 3650.0 / 198000.0));
  EXPECT_EQ(ThumbLeft(kStart, kStart, kEnd, kLeft, kRight), 0.0f) << "not offset by the left limit";
  EXPECT_EQ(ThumbLeft(kEnd, kStart, kEnd, kLeft, kRight), 3650.0f);
  EXPECT_NEAR(ThumbLeft(101000, kStart, kEnd, kLeft, kRight), 1825.0, 0.001);
  // A position outside the range places the thumb outside the bar, no wrap.
  EXPECT_LT(ThumbLeft(0, kStart, kEnd, kLeft, kRight), 0.0f);
  EXPECT_TRUE(std::isfinite(ThumbLeft(INT32_MAX, INT32_MIN, INT32_MIN + 1, kLeft, kRight)));
}

TEST(SeekMath, EmptyRangePutsTheThumbAtTheStart) {
  EXPECT_EQ(ThumbLeft(0, 0, 0, kLeft, kRight), 0.0f);
  EXPECT_EQ(ThumbLeft(550000, 0, 0, kLeft, kRight), 0.0f);
  EXPECT_EQ(ThumbLeft(2000, 0, 0, 0, 0), 0.0f) << "before the first refresh";
}

TEST(SeekMath, LimitsAreInclusive) {
  EXPECT_TRUE(WithinLimits(100.0f, kLeft, kRight));
  EXPECT_TRUE(WithinLimits(3750.0f, kLeft, kRight));
  EXPECT_TRUE(WithinLimits(1825.0f, kLeft, kRight));
  EXPECT_FALSE(WithinLimits(99.9f, kLeft, kRight));
  EXPECT_FALSE(WithinLimits(3750.1f, kLeft, kRight));
  EXPECT_FALSE(WithinLimits(-15.0f, kLeft, kRight));
  EXPECT_FALSE(WithinLimits(15.0f, 0, 0));
}

TEST(SeekMath, TargetIsTheInverseOfThePlacement) {
  EXPECT_EQ(SeekTarget(1825.0f, kStart, kEnd, kLeft, kRight), 101000);
  EXPECT_EQ(SeekTarget(0.0f, kStart, kEnd, kLeft, kRight), kStart);
  EXPECT_EQ(SeekTarget(3650.0f, kStart, kEnd, kLeft, kRight), kEnd);
  // The right limit reaches past the track's end, the left limit is not its start.
  EXPECT_EQ(SeekTarget(3750.0f, kStart, kEnd, kLeft, kRight), 205425);  // 205424.66
  EXPECT_EQ(SeekTarget(100.0f, kStart, kEnd, kLeft, kRight), 7425);     // 7424.66
  const float placed = ThumbLeft(61500, kStart, kEnd, kLeft, kRight);
  EXPECT_NEAR(*SeekTarget(placed, kStart, kEnd, kLeft, kRight), 61500, 1);
}

TEST(SeekMath, TargetRoundsHalvesToEven) {
  // 1825 of 3650 twips is exactly half-way: targets x.5 land on the even ms.
  EXPECT_EQ(SeekTarget(1825.0f, 0, 1, kLeft, kRight), 0);           // 0.5
  EXPECT_EQ(SeekTarget(1825.0f, 0, 3, kLeft, kRight), 2);           // 1.5
  EXPECT_EQ(SeekTarget(1825.0f, 0, 5, kLeft, kRight), 2);           // 2.5
  EXPECT_EQ(SeekTarget(1825.0f, 2000, 2001, kLeft, kRight), 2000);  // 2000.5
  EXPECT_EQ(SeekTarget(1825.0f, 2000, 2003, kLeft, kRight), 2002);  // 2001.5
}

TEST(SeekMath, NoTargetWithoutATrackAndNoOverflow) {
  EXPECT_FALSE(SeekTarget(1825.0f, 0, 0, kLeft, kRight)) << "no disc or no track";
  EXPECT_FALSE(SeekTarget(0.0f, 0, 0, 0, 0)) << "before the first refresh";
  EXPECT_FALSE(SeekTarget(1825.0f, kStart, kEnd, 0, 0));
  EXPECT_FALSE(SeekTarget(std::numeric_limits<float>::quiet_NaN(), kStart, kEnd, kLeft, kRight));
  EXPECT_EQ(SeekTarget(1e30f, kStart, kEnd, kLeft, kRight), INT32_MAX);
  EXPECT_EQ(SeekTarget(-1e30f, kStart, kEnd, kLeft, kRight), INT32_MIN);
}

TEST(SeekMath, ThumbPixelIsTheNearestWithHalvesToEven) {
  EXPECT_EQ(ThumbPixelX(1096.84f), 73);
  EXPECT_EQ(ThumbPixelX(3750.0f), 250);
  EXPECT_EQ(ThumbPixelX(3650.0f), 243);  // 243.33
  EXPECT_EQ(ThumbPixelX(22.5f), 2);      // 1.5
  EXPECT_EQ(ThumbPixelX(37.5f), 2);      // 2.5
  EXPECT_EQ(ThumbPixelX(-22.5f), -2);
  EXPECT_EQ(ThumbPixelX(1e30f), INT16_MAX);
  EXPECT_EQ(ThumbPixelX(std::numeric_limits<float>::infinity()), 0);
}

TEST(SeekMath, ListItemsStandForRowsZeroToNinetyNine) {
  EXPECT_EQ(TrackForListIndex(-1), 0) << "no item: row 0, the start of the disc";
  EXPECT_EQ(TrackForListIndex(0), 1);
  EXPECT_EQ(TrackForListIndex(2), 3);
  EXPECT_EQ(TrackForListIndex(98), 99);
  EXPECT_FALSE(TrackForListIndex(99));
  EXPECT_FALSE(TrackForListIndex(-2));
  EXPECT_FALSE(TrackForListIndex(std::numeric_limits<int>::max()));
}
