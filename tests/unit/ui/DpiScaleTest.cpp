#include <gtest/gtest.h>

#include "ui/DpiScale.h"

TEST(DpiScaleTest, LengthsFollowTheScreensDpi) {
  struct Case {
    int pixels, dpi, expected;
  } cases[] = {
      {22, 96, 22},  {22, 120, 28}, {22, 144, 33}, {22, 192, 44}, {64, 144, 96},
      {1, 144, 2},   {0, 192, 0},   {22, 72, 17},  {-3, 144, -5}, {22, 0, 22},
      {22, -96, 22}, {30000, 480, 150000},
  };
  for (const Case& c : cases)
    EXPECT_EQ(c.expected, ScaleToDpi(c.pixels, c.dpi)) << c.pixels << " at " << c.dpi;
}
