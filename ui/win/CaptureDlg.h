#pragma once
#include <windows.h>

#include "platform/Desktop.h"

// The frozen screen that the user cuts a rectangle out of: a full-screen
// copy taken as it opens, a yellow rubber band while dragging. Ends with
// IDOK once a rectangle of more than 4 pixels in either direction is on the
// clipboard as a bitmap; with IDCANCEL on Esc or a double click, and after
// telling the user when the clipboard would not take the rectangle.
class CCaptureDlg {
 public:
  explicit CCaptureDlg(platform::IDesktop& desktop) : m_desktop(desktop) {}
  ~CCaptureDlg();
  CCaptureDlg(const CCaptureDlg&) = delete;
  CCaptureDlg& operator=(const CCaptureDlg&) = delete;

  INT_PTR DoModal(HWND parent);

 private:
  template <typename Dialog>
  friend INT_PTR CALLBACK RouteDialogMessage(HWND, UINT, WPARAM, LPARAM);
  INT_PTR Handle(UINT message, WPARAM wParam, LPARAM lParam);
  void OnInitDialog();
  void OnPaint();
  void OnLButtonDown(POINT point);
  void OnMouseMove(POINT point);
  void OnLButtonUp(POINT point);
  void ToggleBand();
  bool CopyToClipboard(int left, int top, int width, int height);

  platform::IDesktop& m_desktop;
  HWND m_hWnd = nullptr;
  HDC m_hScreenDC = nullptr;  // the copy of the screen
  HBITMAP m_hScreen = nullptr;
  HGDIOBJ m_hOldBitmap = nullptr;
  int m_nWidth = 0;
  int m_nHeight = 0;
  POINT m_ptStart{};
  POINT m_ptEnd{};
  bool m_bDragging = false;
  bool m_bBandShown = false;
};
