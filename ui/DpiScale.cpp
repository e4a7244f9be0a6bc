#include "ui/DpiScale.h"

int ScaleToDpi(int pixels, int dpi) { return ScaleBetweenDpis(pixels, DESIGN_DPI, dpi); }

int ScaleBetweenDpis(int pixels, int fromDpi, int toDpi) {
  if (fromDpi <= 0 || toDpi <= 0 || fromDpi == toDpi) return pixels;
  long long scaled = (long long)pixels * toDpi;
  long long half = scaled >= 0 ? fromDpi / 2 : -(fromDpi / 2);
  return (int)((scaled + half) / fromDpi);
}
