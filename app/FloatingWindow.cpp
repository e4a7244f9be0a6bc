#include "app/FloatingWindow.h"

#include <cstddef>

namespace {

bool IsWhite(uint32_t pixel) { return (pixel & 0xFFFFFFu) == 0xFFFFFFu; }

}  // namespace

std::vector<PixelRun> NonWhiteRuns(const uint32_t* pixels, int width, int height) {
  std::vector<PixelRun> runs;
  if (!pixels || width <= 0 || height <= 0) return runs;
  for (int y = 0; y < height; ++y) {
    const uint32_t* row = pixels + (size_t)y * width;
    int x = 0;
    while (x < width) {
      while (x < width && IsWhite(row[x])) ++x;
      int left = x;
      while (x < width && !IsWhite(row[x])) ++x;
      if (x > left) runs.push_back({y, left, x});
    }
  }
  return runs;
}

void CWindowDrag::Down(int x, int y) {
  m_nDownX = x;
  m_nDownY = y;
  m_bDown = true;
}

CWindowDrag::Step CWindowDrag::Move(int x, int y) {
  if (!m_bDown) return {};
  return {x - m_nDownX, y - m_nDownY};
}

// The pointer's point on release is measured against the window where the
// last move left it, so a step already taken is not taken twice.
CWindowDrag::Step CWindowDrag::Up(int x, int y) {
  if (!m_bDown) return {};
  m_bDown = false;
  return {x - m_nDownX, y - m_nDownY};
}

namespace {

int Clamp(int value, int low, int high) { return value < low ? low : value > high ? high : value; }

}  // namespace

ScreenBox KeepOnScreen(ScreenBox window, ScreenBox screen) {
  bool visible = window.left < screen.right && window.right > screen.left &&
                 window.top < screen.bottom && window.bottom > screen.top;
  if (visible) return window;
  int width = window.right - window.left, height = window.bottom - window.top;
  int left = Clamp(window.left, screen.left, screen.right - width);
  int top = Clamp(window.top, screen.top, screen.bottom - height);
  return {left, top, left + width, top + height};
}
