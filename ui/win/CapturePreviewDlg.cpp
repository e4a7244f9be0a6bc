#include "ui/win/CapturePreviewDlg.h"

#include <windowsx.h>

#include "res/mainwnd_ids.h"
#include "ui/DpiScale.h"
#include "ui/win/DialogRouting.h"

namespace {

// At 96 DPI: the strip below the image, and each label's box in it.
constexpr int kLabelStrip = 35;
constexpr int kLabelHeight = 22;
struct Span {
  int left, right;
};
constexpr Span kCancelSpan{5, 45};
constexpr Span kOkSpan{55, 95};
constexpr COLORREF kGround = RGB(12, 12, 12);
constexpr COLORREF kLabelColour = RGB(214, 133, 29);

void DrawLabel(HDC dc, const char* text, RECT box) {
  DrawTextA(dc, text, -1, &box, DT_SINGLELINE | DT_VCENTER | DT_END_ELLIPSIS | DT_NOPREFIX);
}

}  // namespace

CCapturePreviewDlg::~CCapturePreviewDlg() {
  if (m_hBitmap) DeleteObject(m_hBitmap);
  if (m_hFont) DeleteObject(m_hFont);
}

INT_PTR CCapturePreviewDlg::DoModal(HWND parent) {
  return DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_CAPTURE_PREVIEW), parent,
                         RouteDialogMessage<CCapturePreviewDlg>, reinterpret_cast<LPARAM>(this));
}

void CCapturePreviewDlg::OnInitDialog() {
  SetWindowTextA(m_hWnd, "截屏预览");
  MakeFontForDpi(m_hFont, kLabelHeight, "微软雅黑", DialogDpi(m_hWnd));
  TakeClipboardBitmap();
  if (m_hBitmap) {
    RECT frame = FrameAroundBitmap();
    int x = (GetSystemMetrics(SM_CXSCREEN) - m_size.cx) / 2;
    int y = (GetSystemMetrics(SM_CYSCREEN) - m_size.cy) / 2;
    SetWindowPos(m_hWnd, HWND_TOPMOST, x, y, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_SHOWWINDOW);
  }
  PlaceLabels();
}

// The image keeps its pixels on any screen; the labels below it, their font
// and the strip they stand in are those of the new DPI. The window stays
// where the system put it.
void CCapturePreviewDlg::OnDpiChanged() {
  MakeFontForDpi(m_hFont, kLabelHeight, "微软雅黑", DialogDpi(m_hWnd));
  if (m_hBitmap) {
    RECT frame = FrameAroundBitmap();
    SetWindowPos(m_hWnd, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  PlaceLabels();
  InvalidateRect(m_hWnd, nullptr, TRUE);
}

void CCapturePreviewDlg::TakeClipboardBitmap() {
  if (!IsClipboardFormatAvailable(CF_BITMAP) || !OpenClipboard(m_hWnd)) return;
  if (HANDLE shared = GetClipboardData(CF_BITMAP))
    m_hBitmap = (HBITMAP)CopyImage(shared, IMAGE_BITMAP, 0, 0, 0);
  CloseClipboard();
  BITMAP info{};
  if (m_hBitmap && GetObjectA(m_hBitmap, sizeof info, &info)) {
    m_size = SIZE{info.bmWidth, info.bmHeight};
  } else if (m_hBitmap) {
    DeleteObject(m_hBitmap);
    m_hBitmap = nullptr;
  }
}

// The window whose client area holds the whole image and the label strip below it.
RECT CCapturePreviewDlg::FrameAroundBitmap() const {
  RECT frame{0, 0, m_size.cx, m_size.cy + ScaleToDpi(kLabelStrip, DialogDpi(m_hWnd))};
  AdjustWindowRectEx(&frame, (DWORD)GetWindowLongPtrA(m_hWnd, GWL_STYLE), FALSE,
                     (DWORD)GetWindowLongPtrA(m_hWnd, GWL_EXSTYLE));
  return frame;
}

// The labels' boxes along the bottom of the client area.
void CCapturePreviewDlg::PlaceLabels() {
  int dpi = DialogDpi(m_hWnd);
  RECT client;
  GetClientRect(m_hWnd, &client);
  int top = client.bottom - ScaleToDpi(kLabelStrip, dpi);
  auto place = [&](const Span& span) {
    return RECT{ScaleToDpi(span.left, dpi), top, ScaleToDpi(span.right, dpi), client.bottom};
  };
  m_rcCancel = place(kCancelSpan);
  m_rcOk = place(kOkSpan);
}

INT_PTR CCapturePreviewDlg::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
  POINT point{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
  switch (message) {
    case WM_PAINT:
      OnPaint();
      return TRUE;
    case WM_LBUTTONDOWN:
      OnLButtonDown(point);
      return TRUE;
    case WM_LBUTTONDBLCLK:
      EndDialog(m_hWnd, IDCANCEL);
      return TRUE;
    case WM_SETCURSOR:
      if (!OnSetCursor()) return FALSE;
      SetWindowLongPtrA(m_hWnd, DWLP_MSGRESULT, TRUE);
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) EndDialog(m_hWnd, LOWORD(wParam));
      return TRUE;
    case WM_DPICHANGED_MESSAGE:
      OnDpiChanged();
      return TRUE;
  }
  return FALSE;
}

void CCapturePreviewDlg::OnPaint() {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(m_hWnd, &paint);
  if (m_hBitmap) {
    RECT client;
    GetClientRect(m_hWnd, &client);
    HBRUSH ground = CreateSolidBrush(kGround);
    FillRect(dc, &client, ground);
    DeleteObject(ground);
    HDC memory = CreateCompatibleDC(dc);
    HGDIOBJ old = SelectObject(memory, m_hBitmap);
    BitBlt(dc, 0, 0, m_size.cx, m_size.cy, memory, 0, 0, SRCCOPY);
    SelectObject(memory, old);
    DeleteDC(memory);
    HGDIOBJ oldFont = SelectObject(dc, m_hFont);
    SetTextColor(dc, kLabelColour);
    SetBkMode(dc, TRANSPARENT);
    DrawLabel(dc, "取消", m_rcCancel);
    DrawLabel(dc, "确定", m_rcOk);
    SelectObject(dc, oldFont);
  }
  EndPaint(m_hWnd, &paint);
}

int CCapturePreviewDlg::LabelAt(POINT point) const {
  if (PtInRect(&m_rcCancel, point)) return IDCANCEL;
  if (PtInRect(&m_rcOk, point)) return IDOK;
  return 0;
}

void CCapturePreviewDlg::OnLButtonDown(POINT point) {
  if (int label = LabelAt(point)) {
    EndDialog(m_hWnd, label);
    return;
  }
  // Anywhere else the window is dragged as if by its caption.
  ReleaseCapture();
  SendMessageA(m_hWnd, WM_NCLBUTTONDOWN, HTCAPTION, 0);
}

// The hand over a label; elsewhere the dialog's own cursor.
bool CCapturePreviewDlg::OnSetCursor() {
  POINT cursor;
  GetCursorPos(&cursor);
  ScreenToClient(m_hWnd, &cursor);
  if (!LabelAt(cursor)) return false;
  SetCursor(LoadCursorA(nullptr, (LPCSTR)IDC_HAND));
  return true;
}
