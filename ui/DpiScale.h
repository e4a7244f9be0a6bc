#pragma once

// Lengths designed at 96 dots per inch, for the screen a window is on.
inline constexpr int DESIGN_DPI = 96;

// `pixels` at `dpi`, rounded to the nearest pixel; a dpi that cannot be
// (0 or less) leaves the length as designed.
int ScaleToDpi(int pixels, int dpi);

// `pixels` laid out at `fromDpi`, for a screen of `toDpi`: the same rounding,
// and a length left as it is when either DPI cannot be.
int ScaleBetweenDpis(int pixels, int fromDpi, int toDpi);
