#include "ui/CaptureRegion.h"

CaptureBox NormalisedBox(int x0, int y0, int x1, int y1) {
  return {x0 < x1 ? x0 : x1, y0 < y1 ? y0 : y1, x0 < x1 ? x1 : x0, y0 < y1 ? y1 : y0};
}

bool CaptureRegion(int x0, int y0, int x1, int y1, CaptureBox& box) {
  box = NormalisedBox(x0, y0, x1, y1);
  return box.Width() > 4 || box.Height() > 4;
}
