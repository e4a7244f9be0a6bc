#include <gtest/gtest.h>

#include "ui/CaptureRegion.h"

namespace {

TEST(CaptureRegionTest, SmallDragsAreIgnoredAndCornersNormalised) {
  struct Case {
    const char* name;
    int x0, y0, x1, y1;
    bool copied;
    CaptureBox box;
  } cases[] = {
      {"a click", 100, 100, 100, 100, false, {100, 100, 100, 100}},
      {"4 x 4", 100, 100, 104, 104, false, {100, 100, 104, 104}},
      {"5 wide, 1 high", 100, 100, 105, 101, true, {100, 100, 105, 101}},
      {"1 wide, 5 high", 100, 100, 101, 105, true, {100, 100, 101, 105}},
      {"lower right to upper left", 200, 150, 100, 100, true, {100, 100, 200, 150}},
      {"upper right to lower left", 200, 100, 100, 150, true, {100, 100, 200, 150}},
      {"4 x 4 backwards", 104, 104, 100, 100, false, {100, 100, 104, 104}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CaptureBox box{};
    EXPECT_EQ(c.copied, CaptureRegion(c.x0, c.y0, c.x1, c.y1, box));
    EXPECT_EQ(c.box, box);
  }
}

}  // namespace
