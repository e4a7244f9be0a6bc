#include "ui/DpiScale.h"

int ScaleToDpi(int pixels, int dpi) {
  if (dpi <= 0 || dpi == DESIGN_DPI) return pixels;
  long long scaled = (long long)pixels * dpi;
  long long half = scaled >= 0 ? DESIGN_DPI / 2 : -(DESIGN_DPI / 2);
  return (int)((scaled + half) / DESIGN_DPI);
}
