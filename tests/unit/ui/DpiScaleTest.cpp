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

// A layout made at one DPI and moved to a screen of another: to the nearest
// pixel both ways, negative lengths (fonts' heights) alike, and back to the
// very same length after a round trip up and down.
TEST(DpiScaleTest, LengthsMoveBetweenScreensOfTwoDpis) {
  struct Case {
    int pixels, from, to, expected;
  } cases[] = {
      {12, 96, 144, 18},   {-12, 96, 144, -18}, {-12, 96, 192, -24}, {18, 144, 96, 12},
      {7, 96, 144, 11},    {11, 144, 96, 7},    {-13, 120, 96, -10}, {33, 144, 144, 33},
      {20, 0, 144, 20},    {20, 144, 0, 20},    {20, -96, 144, 20},  {0, 96, 240, 0},
      {30000, 96, 480, 150000},
  };
  for (const Case& c : cases)
    EXPECT_EQ(c.expected, ScaleBetweenDpis(c.pixels, c.from, c.to))
        << c.pixels << " from " << c.from << " to " << c.to;
  for (int pixels = -50; pixels <= 400; ++pixels)
    for (int dpi : {120, 144, 168, 192, 288})
      EXPECT_EQ(pixels, ScaleBetweenDpis(ScaleBetweenDpis(pixels, 96, dpi), dpi, 96)) << pixels;
}
