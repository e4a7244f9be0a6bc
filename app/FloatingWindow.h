#pragma once
#include <cstdint>
#include <vector>

// What the floating window computes for itself, apart from the windowing.

// One horizontal run of pixels: row y, columns left to right (exclusive).
struct PixelRun {
  int y;
  int left;
  int right;
  bool operator==(const PixelRun&) const = default;
};

// The window's shape: the maximal runs of pixels that are not white, row by
// row from the top. `pixels` holds `height` top-down rows of `width` pixels
// as 0x00RRGGBB (the top byte is ignored).
std::vector<PixelRun> NonWhiteRuns(const uint32_t* pixels, int width, int height);

// Dragging the window by its face. Points are in client coordinates; the
// window moves with the pointer, so after each step the pointer is back at
// the point where it was pressed.
class CWindowDrag {
 public:
  struct Step {
    int dx = 0;
    int dy = 0;
    bool Moves() const { return dx != 0 || dy != 0; }
  };
  void Down(int x, int y);
  // The move that brings the window under the pointer again.
  Step Move(int x, int y);
  // The rest of the way to where the button came up (nothing when the move
  // messages have covered it).
  Step Up(int x, int y);
  bool IsDragging() const { return m_bDown; }

 private:
  int m_nDownX = 0, m_nDownY = 0;
  bool m_bDown = false;
};

// A rectangle in screen pixels, right and bottom exclusive.
struct ScreenBox {
  int left, top, right, bottom;
  bool operator==(const ScreenBox&) const = default;
};

// Where the window goes for a stored top-left corner: there, unless the
// window would lie wholly outside the screen (a position stored on a larger
// or a removed monitor); then it is brought inside the nearest edges.
ScreenBox KeepOnScreen(ScreenBox window, ScreenBox screen);
