#include <gtest/gtest.h>

#include <string>

#include "app/FloatingWindow.h"

namespace {

// Rows of a picture: '.' white, anything else a colour.
std::vector<uint32_t> Picture(const std::vector<std::string>& rows) {
  std::vector<uint32_t> pixels;
  for (const std::string& row : rows)
    for (char c : row) pixels.push_back(c == '.' ? 0xFFFFFFu : c == 'w' ? 0xFFFFFFFEu : 0x2E96DEu);
  return pixels;
}

TEST(NonWhiteRunsTest, MaximalRunsRowByRow) {
  struct Case {
    const char* name;
    std::vector<std::string> rows;
    std::vector<PixelRun> runs;
  } cases[] = {
      {"all white", {"....", "...."}, {}},
      {"all colour", {"####"}, {{0, 0, 4}}},
      {"run at each edge", {"#..#"}, {{0, 0, 1}, {0, 3, 4}}},
      {"a hole splits a row", {".##.##.", "..###.."}, {{0, 1, 3}, {0, 4, 6}, {1, 2, 5}}},
      {"an empty row in between", {"#", ".", "#"}, {{0, 0, 1}, {2, 0, 1}}},
      {"near-white is face, the top byte is ignored", {"w##", ".w."}, {{0, 0, 3}, {1, 1, 2}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<uint32_t> pixels = Picture(c.rows);
    // 'w' stands for 0xFFFFFFFE: not white; an alpha byte over white is white.
    EXPECT_EQ(c.runs, NonWhiteRuns(pixels.data(), (int)c.rows[0].size(), (int)c.rows.size()));
  }
  uint32_t whiteWithAlpha[] = {0xFFFFFFFFu, 0x00FFFFFFu};
  EXPECT_TRUE(NonWhiteRuns(whiteWithAlpha, 2, 1).empty());
  EXPECT_TRUE(NonWhiteRuns(nullptr, 5, 5).empty());
  EXPECT_TRUE(NonWhiteRuns(whiteWithAlpha, 0, 1).empty());
}

TEST(WindowDragTest, TheWindowFollowsThePointerOnce) {
  struct Move {
    int x, y;
  };
  struct Case {
    const char* name;
    std::vector<Move> moves;  // pointer points in client coordinates after each step
    Move up;
    int dx, dy;  // the window's whole movement
  } cases[] = {
      {"a click without movement", {}, {40, 40}, 0, 0},
      {"a move back to the pressed point", {{40, 40}}, {40, 40}, 0, 0},
      {"30 pixels to the right in one move", {{70, 40}}, {40, 40}, 30, 0},
      {"30 pixels in three moves", {{50, 40}, {50, 40}, {50, 40}}, {40, 40}, 30, 0},
      {"released before the move message", {}, {70, 35}, 30, -5},
      {"up and to the left", {{30, 20}}, {40, 40}, -10, -20},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CWindowDrag drag;
    drag.Down(40, 40);
    int dx = 0, dy = 0;
    for (const Move& m : c.moves) {
      CWindowDrag::Step step = drag.Move(m.x, m.y);
      dx += step.dx;
      dy += step.dy;
    }
    CWindowDrag::Step last = drag.Up(c.up.x, c.up.y);
    EXPECT_EQ(c.dx, dx + last.dx);
    EXPECT_EQ(c.dy, dy + last.dy);
    EXPECT_FALSE(drag.IsDragging());
  }
  CWindowDrag idle;
  EXPECT_FALSE(idle.Move(5, 5).Moves());  // no button pressed on the window
  EXPECT_FALSE(idle.Up(5, 5).Moves());
}

}  // namespace

namespace {

TEST(KeepOnScreenTest, OnlyAWindowOutOfSightIsBroughtBack) {
  const ScreenBox screen{0, 0, 1280, 800};
  struct Case {
    const char* name;
    ScreenBox stored, placed;
  } cases[] = {
      {"inside", {1100, 100, 1220, 220}, {1100, 100, 1220, 220}},
      {"partly outside stays where the user put it", {1250, -60, 1370, 60}, {1250, -60, 1370, 60}},
      {"right of a smaller screen", {2500, 100, 2620, 220}, {1160, 100, 1280, 220}},
      {"below and left", {-500, 900, -380, 1020}, {0, 680, 120, 800}},
      {"touching the edge only is out of sight", {1280, 10, 1400, 130}, {1160, 10, 1280, 130}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.placed, KeepOnScreen(c.stored, screen));
  }
}

}  // namespace
