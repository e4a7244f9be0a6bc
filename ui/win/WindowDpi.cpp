#include "ui/win/WindowDpi.h"

#include "ui/DpiScale.h"

namespace {

using GetDpiForWindowFn = UINT(WINAPI*)(HWND);

// Looked up once: the function exists only from Windows 10 on.
GetDpiForWindowFn DpiForWindowFunction() {
  static GetDpiForWindowFn function = reinterpret_cast<GetDpiForWindowFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("user32.dll"), "GetDpiForWindow")));
  return function;
}

}  // namespace

int WindowDpi(HWND window) {
  if (GetDpiForWindowFn function = DpiForWindowFunction()) {
    if (UINT dpi = function(window)) return (int)dpi;
  }
  HDC screen = GetDC(nullptr);
  int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSX) : DESIGN_DPI;
  if (screen) ReleaseDC(nullptr, screen);
  return dpi > 0 ? dpi : DESIGN_DPI;
}
