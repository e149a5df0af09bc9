#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "view/SeekMath.h"

using namespace seekmath;

namespace {
// Track 1 of the three-track disc, with the limits every refresh sets.
constexpr int32_t kStart = 2000, kEnd = 200000, kLeft = 100;
constexpr int16_t kRight = 3750;
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
}  // namespace

TEST(SeekMath, ThumbRunsFromZeroToTheSpanOfTheLimitsAndRestsAtZeroWithoutATrack) {
  EXPECT_EQ(ThumbLeft(61500, kStart, kEnd, kLeft, kRight),
            static_cast<float>(59500.0 * 3650.0 / 198000.0));  // 1096.84
  EXPECT_EQ(ThumbLeft(kStart, kStart, kEnd, kLeft, kRight), 0.0f) << "not offset by the limit";
  EXPECT_EQ(ThumbLeft(kEnd, kStart, kEnd, kLeft, kRight), 3650.0f);
  EXPECT_TRUE(std::isfinite(ThumbLeft(INT32_MAX, INT32_MIN, INT32_MIN + 1, kLeft, kRight)));
  EXPECT_EQ(ThumbLeft(550000, 0, 0, kLeft, kRight), 0.0f) << "no disc or no track";
  EXPECT_EQ(ThumbLeft(2000, 0, 0, 0, 0), 0.0f) << "before the first refresh";

  EXPECT_TRUE(WithinLimits(100.0f, kLeft, kRight));
  EXPECT_TRUE(WithinLimits(3750.0f, kLeft, kRight));
  EXPECT_FALSE(WithinLimits(99.9f, kLeft, kRight));
  EXPECT_FALSE(WithinLimits(3750.1f, kLeft, kRight));

  EXPECT_EQ(ThumbPixelX(1096.84f), 73);
  EXPECT_EQ(ThumbPixelX(22.5f), 2);  // 1.5 px: halves to even
  EXPECT_EQ(ThumbPixelX(37.5f), 2);  // 2.5 px
  EXPECT_EQ(ThumbPixelX(1e30f), INT16_MAX);
  EXPECT_EQ(ThumbPixelX(kNaN), 0);
}

TEST(SeekMath, TargetInvertsThePlacementAndRoundsHalvesToEven) {
  EXPECT_EQ(SeekTarget(1825.0f, kStart, kEnd, kLeft, kRight), 101000);
  EXPECT_EQ(SeekTarget(0.0f, kStart, kEnd, kLeft, kRight), kStart);
  EXPECT_EQ(SeekTarget(3650.0f, kStart, kEnd, kLeft, kRight), kEnd);
  EXPECT_EQ(SeekTarget(3750.0f, kStart, kEnd, kLeft, kRight), 205425);  // 205424.66
  EXPECT_EQ(SeekTarget(100.0f, kStart, kEnd, kLeft, kRight), 7425);     // 7424.66
  // 1825 twips is half-way: x.5 ms lands on the even neighbour.
  EXPECT_EQ(SeekTarget(1825.0f, 0, 1, kLeft, kRight), 0);           // 0.5
  EXPECT_EQ(SeekTarget(1825.0f, 0, 5, kLeft, kRight), 2);           // 2.5
  EXPECT_EQ(SeekTarget(1825.0f, 2000, 2003, kLeft, kRight), 2002);  // 2001.5

  EXPECT_FALSE(SeekTarget(1825.0f, 0, 0, kLeft, kRight)) << "no track: nowhere to seek";
  EXPECT_FALSE(SeekTarget(1825.0f, kStart, kEnd, 0, 0)) << "limits not set yet";
  EXPECT_FALSE(SeekTarget(kNaN, kStart, kEnd, kLeft, kRight));
  EXPECT_EQ(SeekTarget(1e30f, kStart, kEnd, kLeft, kRight), INT32_MAX);
  EXPECT_EQ(SeekTarget(-1e30f, kStart, kEnd, kLeft, kRight), INT32_MIN);
}

TEST(SeekMath, ListItemsStandForRowsZeroToNinetyNine) {
  EXPECT_EQ(TrackForListIndex(-1), 0) << "no item: row 0, the start of the disc";
  EXPECT_EQ(TrackForListIndex(2), 3);
  EXPECT_EQ(TrackForListIndex(98), 99);
  EXPECT_FALSE(TrackForListIndex(99));
  EXPECT_FALSE(TrackForListIndex(-2));
}
