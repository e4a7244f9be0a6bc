#pragma once
#include <windows.h>

// Centres a window in the work area of the screen. `insertAfter` and `flags`
// are those of SetWindowPos (e.g. HWND_TOPMOST, or SWP_NOZORDER).
inline void CentreOnScreen(HWND hWnd, HWND insertAfter, UINT flags) {
  RECT window, work;
  GetWindowRect(hWnd, &window);
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
  int x = work.left + (work.right - work.left - (window.right - window.left)) / 2;
  int y = work.top + (work.bottom - work.top - (window.bottom - window.top)) / 2;
  SetWindowPos(hWnd, insertAfter, x, y, 0, 0, SWP_NOSIZE | flags);
}
