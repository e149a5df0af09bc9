#include <gtest/gtest.h>

#include "view/SeekMath.h"

using seekmath::SeekTarget;

// Half-way along the bar (1825 twips) an x.5 ms target lands on the even
// neighbour; so does an x.5 px thumb.
TEST(SeekMath, HalvesRoundToEven) {
  EXPECT_EQ(SeekTarget(1825.0f, 0, 1, 100, 3750), 0);
  EXPECT_EQ(SeekTarget(1825.0f, 0, 5, 100, 3750), 2);
  EXPECT_EQ(SeekTarget(1825.0f, 2000, 2003, 100, 3750), 2002);
  EXPECT_EQ(seekmath::ThumbPixelX(37.5f), 2);
}
