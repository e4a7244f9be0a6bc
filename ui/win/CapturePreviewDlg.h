#pragma once
#include <windows.h>

// Shows the bitmap that the capture put on the clipboard, on a dark ground
// with "取消" and "确定" below it; either label, or a double click, closes
// it, and the image stays on the clipboard either way. Dragged anywhere else.
class CCapturePreviewDlg {
 public:
  CCapturePreviewDlg() = default;
  ~CCapturePreviewDlg();
  CCapturePreviewDlg(const CCapturePreviewDlg&) = delete;
  CCapturePreviewDlg& operator=(const CCapturePreviewDlg&) = delete;

  INT_PTR DoModal(HWND parent);

 private:
  template <typename Dialog>
  friend INT_PTR CALLBACK RouteDialogMessage(HWND, UINT, WPARAM, LPARAM);
  INT_PTR Handle(UINT message, WPARAM wParam, LPARAM lParam);
  void OnInitDialog();
  void OnDpiChanged();
  void TakeClipboardBitmap();
  RECT FrameAroundBitmap() const;
  void PlaceLabels();
  void OnPaint();
  void OnLButtonDown(POINT point);
  bool OnSetCursor();
  int LabelAt(POINT point) const;  // IDCANCEL, IDOK or 0

  HWND m_hWnd = nullptr;
  HBITMAP m_hBitmap = nullptr;  // a copy: another program may empty the clipboard
  SIZE m_size{};
  HFONT m_hFont = nullptr;
  RECT m_rcCancel{};
  RECT m_rcOk{};
};
