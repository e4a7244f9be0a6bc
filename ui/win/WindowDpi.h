#pragma once
#include <windows.h>

// The dots per inch of the screen that the window is on: per monitor where
// the system tells it (Windows 10), else the system's (Windows 7 and 8).
int WindowDpi(HWND window);

// The message that a per-monitor aware window gets when its screen's DPI
// changes; lParam is the suggested rectangle.
inline constexpr UINT WM_DPICHANGED_MESSAGE = 0x02E0;
