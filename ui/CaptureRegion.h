#pragma once

// The rectangle that a drag between two corners cuts out of the screen:
// normalised, left and top inclusive, right and bottom exclusive. False when
// it is too small to be meant (4 pixels or less in both directions).
struct CaptureBox {
  int left, top, right, bottom;
  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
  bool operator==(const CaptureBox&) const = default;
};

CaptureBox NormalisedBox(int x0, int y0, int x1, int y1);
bool CaptureRegion(int x0, int y0, int x1, int y1, CaptureBox& box);
