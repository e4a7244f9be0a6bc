#include "ui/win/CaptureDlg.h"

#include <windowsx.h>

#include "res/mainwnd_ids.h"
#include "ui/CaptureRegion.h"
#include "ui/DpiScale.h"
#include "ui/win/DialogRouting.h"

namespace {

constexpr COLORREF kBandColour = RGB(255, 255, 0);
constexpr int kBandWidth = 2;

// Another program may hold the clipboard for a moment.
bool OpenClipboardSoon(HWND owner) {
  for (int attempt = 0; attempt < 10; ++attempt) {
    if (OpenClipboard(owner)) return true;
    Sleep(20);
  }
  return false;
}

}  // namespace

CCaptureDlg::~CCaptureDlg() {
  if (m_hScreenDC) {
    SelectObject(m_hScreenDC, m_hOldBitmap);
    DeleteDC(m_hScreenDC);
  }
  if (m_hScreen) DeleteObject(m_hScreen);
}

INT_PTR CCaptureDlg::DoModal(HWND parent) {
  return DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_CAPTURE), parent,
                         RouteDialogMessage<CCaptureDlg>, reinterpret_cast<LPARAM>(this));
}

void CCaptureDlg::OnInitDialog() {
  SetWindowTextA(m_hWnd, "任意截屏");
  m_nWidth = GetSystemMetrics(SM_CXSCREEN);
  m_nHeight = GetSystemMetrics(SM_CYSCREEN);
  HDC screen = GetDC(nullptr);
  m_hScreenDC = CreateCompatibleDC(screen);
  m_hScreen = CreateCompatibleBitmap(screen, m_nWidth, m_nHeight);
  m_hOldBitmap = SelectObject(m_hScreenDC, m_hScreen);
  BitBlt(m_hScreenDC, 0, 0, m_nWidth, m_nHeight, screen, 0, 0, SRCCOPY);
  ReleaseDC(nullptr, screen);
  SetWindowPos(m_hWnd, HWND_TOPMOST, 0, 0, m_nWidth, m_nHeight, SWP_SHOWWINDOW);
}

INT_PTR CCaptureDlg::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
  POINT point{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
  switch (message) {
    case WM_PAINT:
      OnPaint();
      return TRUE;
    case WM_ERASEBKGND:
      return TRUE;
    case WM_SETCURSOR:
      SetCursor(LoadCursorA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDC_CAPTURE_CURSOR)));
      SetWindowLongPtrA(m_hWnd, DWLP_MSGRESULT, TRUE);
      return TRUE;
    case WM_LBUTTONDOWN:
      OnLButtonDown(point);
      return TRUE;
    case WM_MOUSEMOVE:
      if (m_bDragging && (wParam & MK_LBUTTON)) OnMouseMove(point);
      return TRUE;
    case WM_LBUTTONUP:
      OnLButtonUp(point);
      return TRUE;
    case WM_LBUTTONDBLCLK:
      EndDialog(m_hWnd, IDCANCEL);
      return TRUE;
    case WM_DPICHANGED_MESSAGE:
      // The frozen copy still covers the whole screen; only the band's pen
      // follows the DPI, as it is drawn.
      SetWindowPos(m_hWnd, nullptr, 0, 0, m_nWidth, m_nHeight, SWP_NOZORDER | SWP_NOACTIVATE);
      return TRUE;
    case WM_COMMAND:
      // Esc arrives as IDCANCEL; Enter (IDOK) has nothing to confirm.
      if (LOWORD(wParam) == IDCANCEL) EndDialog(m_hWnd, IDCANCEL);
      return TRUE;
  }
  return FALSE;
}

void CCaptureDlg::OnPaint() {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(m_hWnd, &paint);
  BitBlt(dc, 0, 0, m_nWidth, m_nHeight, m_hScreenDC, 0, 0, SRCCOPY);
  EndPaint(m_hWnd, &paint);
  // The copy painted over the band: draw it again so that the next
  // exclusive-or still erases it.
  if (m_bBandShown) {
    m_bBandShown = false;
    ToggleBand();
  }
}

void CCaptureDlg::OnLButtonDown(POINT point) {
  SetCapture(m_hWnd);
  m_ptStart = m_ptEnd = point;
  m_bDragging = true;
}

void CCaptureDlg::OnMouseMove(POINT point) {
  if (m_bBandShown) ToggleBand();
  m_ptEnd = point;
  ToggleBand();
}

void CCaptureDlg::OnLButtonUp(POINT point) {
  if (!m_bDragging) return;
  m_bDragging = false;
  ReleaseCapture();
  if (m_bBandShown) ToggleBand();
  m_ptEnd = point;
  if (m_ptEnd.x == m_ptStart.x && m_ptEnd.y == m_ptStart.y) return;
  CaptureBox box{};
  if (!CaptureRegion(m_ptStart.x, m_ptStart.y, m_ptEnd.x, m_ptEnd.y, box)) return;
  // Nothing reached the clipboard: no preview of whatever it held before,
  // and the user learns why the image is not there.
  if (!CopyToClipboard(box.left, box.top, box.Width(), box.Height())) {
    m_desktop.ShowMessage("截图未能复制到剪贴板，剪贴板可能正被其他程序使用，请稍后重试！", "提示",
                          platform::MessageIcon::Warning, true);
    EndDialog(m_hWnd, IDCANCEL);
    return;
  }
  EndDialog(m_hWnd, IDOK);
}

// Drawn twice in the same place the band is gone again.
void CCaptureDlg::ToggleBand() {
  CaptureBox box = NormalisedBox(m_ptStart.x, m_ptStart.y, m_ptEnd.x, m_ptEnd.y);
  HDC dc = GetDC(m_hWnd);
  HPEN pen = CreatePen(PS_SOLID, ScaleToDpi(kBandWidth, DialogDpi(m_hWnd)), kBandColour);
  HGDIOBJ oldPen = SelectObject(dc, pen);
  HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(NULL_BRUSH));
  int oldMode = SetROP2(dc, R2_XORPEN);
  int oldBk = SetBkMode(dc, TRANSPARENT);
  Rectangle(dc, box.left, box.top, box.right, box.bottom);
  SetBkMode(dc, oldBk);
  SetROP2(dc, oldMode);
  SelectObject(dc, oldBrush);
  SelectObject(dc, oldPen);
  DeleteObject(pen);
  ReleaseDC(m_hWnd, dc);
  m_bBandShown = !m_bBandShown;
}

bool CCaptureDlg::CopyToClipboard(int left, int top, int width, int height) {
  HDC screen = GetDC(nullptr);
  HDC target = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
  ReleaseDC(nullptr, screen);
  if (!target || !bitmap) {
    if (target) DeleteDC(target);
    return false;
  }
  HGDIOBJ old = SelectObject(target, bitmap);
  BitBlt(target, 0, 0, width, height, m_hScreenDC, left, top, SRCCOPY);
  SelectObject(target, old);
  DeleteDC(target);
  bool placed = false;
  if (OpenClipboardSoon(m_hWnd)) {
    EmptyClipboard();
    placed = SetClipboardData(CF_BITMAP, bitmap) != nullptr;
    CloseClipboard();
  }
  if (!placed) DeleteObject(bitmap);  // the clipboard owns it only once placed
  return placed;
}
