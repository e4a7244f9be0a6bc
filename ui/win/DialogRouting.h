#pragma once
#include <windows.h>

#include "ui/win/DialogDpi.h"

// The dialog procedure of a dialog object: its pointer comes with
// WM_INITDIALOG and is kept in DWLP_USER; later messages go to its Handle().
// A dialog class befriends RouteDialogMessage<itself> and passes it as the
// procedure when it creates its window. Every dialog follows the DPI of its
// screen here; its Handle() sees WM_DPICHANGED once the dialog is laid out
// for the new DPI, to re-make what it draws itself.
template <typename Dialog>
INT_PTR CALLBACK RouteDialogMessage(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    SetWindowLongPtrA(hWnd, DWLP_USER, lParam);
    auto* self = reinterpret_cast<Dialog*>(lParam);
    self->m_hWnd = hWnd;
    self->OnInitDialog();
    return TRUE;
  }
  auto* self = reinterpret_cast<Dialog*>(GetWindowLongPtrA(hWnd, DWLP_USER));
  if (!self) return FALSE;
  bool taken = FollowScreenDpi(hWnd, message, wParam, lParam);
  INT_PTR handled = self->Handle(message, wParam, lParam);
  return taken ? TRUE : handled;
}
