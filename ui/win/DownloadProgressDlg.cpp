#include "ui/win/DownloadProgressDlg.h"

#include <commctrl.h>

#include "res/download_ids.h"
#include "res/resource.h"
#include "ui/win/DialogRouting.h"
#include "ui/win/WindowPlacement.h"

namespace {
constexpr UINT_PTR TICK_TIMER = 1;

}  // namespace

CDownloadProgressDlg::~CDownloadProgressDlg() {
  if (m_hWnd) DestroyWindow(m_hWnd);
}

bool CDownloadProgressDlg::Create(HWND parent) {
  if (!IsWindow(parent)) return false;
  m_hWnd = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_DOWNLOAD_PROGRESS),
                              parent, &RouteDialogMessage<CDownloadProgressDlg>,
                              reinterpret_cast<LPARAM>(this));
  return m_hWnd != nullptr;
}

INT_PTR CDownloadProgressDlg::Handle(UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_TIMER:
      if (wParam == TICK_TIMER) OnTimer();
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDC_DOWNLOAD_CANCEL) OnCancel();
      // Escape closes like the window's close box.
      if (LOWORD(wParam) == IDCANCEL) m_bCancel = 1;
      return TRUE;
    case WM_CLOSE:
      m_bCancel = 1;
      return TRUE;
    default:
      return FALSE;
  }
}

void CDownloadProgressDlg::OnInitDialog() {
  SetWindowPos(m_hWnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  m_hIcon = LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_MAINFRAME));
  SendMessageA(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
  SendMessageA(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));
  CentreOnScreen(m_hWnd, nullptr, SWP_NOZORDER | SWP_NOACTIVATE);
}

void CDownloadProgressDlg::StartTimer() {
  m_nRangeLow = m_nRangeHigh = 0;
  m_bCancel = 0;
  m_ticker.Reset();
  if (m_hWnd) SetTimer(m_hWnd, TICK_TIMER, 1000, nullptr);
}

void CDownloadProgressDlg::StopTimer() {
  if (m_hWnd) KillTimer(m_hWnd, TICK_TIMER);
}

void CDownloadProgressDlg::SetRange(int low, int high) {
  if (m_nRangeHigh != 0) return;
  m_nRangeLow = low;
  m_nRangeHigh = high;
  // The 32-bit form: a range in KiB passes 65535 from 64 MiB on.
  SendDlgItemMessageA(m_hWnd, IDC_DOWNLOAD_BAR, PBM_SETRANGE32, low, high);
}

void CDownloadProgressDlg::SetPos(int pos) {
  SetWindowPos(m_hWnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  SendDlgItemMessageA(m_hWnd, IDC_DOWNLOAD_BAR, PBM_SETPOS, pos, 0);
  SetDlgItemTextA(m_hWnd, IDC_DOWNLOAD_PERCENT, ProgressPercentText(pos, m_nRangeHigh).c_str());
  // Messages last: what the dialog draws reaches the screen while its thread
  // takes its messages, and the transfer then holds the thread until the next
  // block. Taken first, they left the new percentage erased in between.
  PumpMessages();
}

// The download runs on this thread: its messages (Cancel, the timer,
// painting) are dispatched between two received blocks.
void CDownloadProgressDlg::PumpMessages() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(msg.wParam));  // for the thread's own loop
      break;
    }
    if (m_hWnd && IsDialogMessageA(m_hWnd, &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

void CDownloadProgressDlg::OnTimer() {
  int pos = static_cast<int>(SendDlgItemMessageA(m_hWnd, IDC_DOWNLOAD_BAR, PBM_GETPOS, 0, 0));
  SetDlgItemTextA(m_hWnd, IDC_DOWNLOAD_TIMES, m_ticker.Tick(pos, m_nRangeHigh).c_str());
}

void CDownloadProgressDlg::OnCancel() {
  m_bCancel = 1;
  ShowWindow(m_hWnd, SW_HIDE);
}
