#include "ui/win/DownloadBarDlg.h"

#include <commctrl.h>

#include "app/CertificateNotice.h"
#include "platform/Files.h"
#include "res/download_ids.h"
#include "ui/win/DialogRouting.h"
#include "ui/win/WindowPlacement.h"
#include "ui/DpiScale.h"

namespace {
constexpr UINT_PTR TICK_TIMER = 1;
constexpr UINT ID_LEAVE = 1;
constexpr uint32_t ENDED_MARK = 0xFFFFFFFFu;
constexpr COLORREF BAR_BACKGROUND = RGB(12, 12, 12);
constexpr COLORREF BAR_TEXT = RGB(214, 133, 29);
constexpr int TEXT_HEIGHT = 22;
constexpr int TIP_WIDTH = 360;

}  // namespace

CDownloadBarDlg::CDownloadBarDlg(platform::IDesktop& desktop)
    : m_desktop(desktop), m_pDownloader(std::make_unique<CSegmentedDownloader>()) {}

CDownloadBarDlg::~CDownloadBarDlg() {
  m_pDownloader->StopAll();
  m_pDownloader.reset();
  if (m_hFont) DeleteObject(m_hFont);
}

INT_PTR CDownloadBarDlg::DoModal(HWND parent) {
  return DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_DOWNLOAD_BAR), parent,
                         &RouteDialogMessage<CDownloadBarDlg>, reinterpret_cast<LPARAM>(this));
}

INT_PTR CDownloadBarDlg::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_DOWNLOAD_PROGRESS:
      if (m_nTotal <= 0) return TRUE;
      if (static_cast<uint32_t>(wParam) == ENDED_MARK && static_cast<uint32_t>(lParam) == ENDED_MARK)
        OnAllEnded();
      else
        OnProgress(wParam, lParam);
      return TRUE;
    case WM_TIMER:
      if (wParam == TICK_TIMER) OnTimer();
      return TRUE;
    case WM_PAINT:
      OnPaint();
      return TRUE;
    case WM_ERASEBKGND:
      SetWindowLongPtrA(m_hWnd, DWLP_MSGRESULT, 1);  // OnPaint fills everything
      return TRUE;
    case WM_LBUTTONDOWN:
      // Dragged from anywhere, as if by a caption.
      ReleaseCapture();
      SendMessageA(m_hWnd, WM_NCLBUTTONDOWN, HTCAPTION, 0);
      return TRUE;
    case WM_SETCURSOR:
      SetCursor(LoadCursorA(nullptr, MAKEINTRESOURCEA(32649)));  // IDC_HAND
      SetWindowLongPtrA(m_hWnd, DWLP_MSGRESULT, TRUE);
      return TRUE;
    case WM_CONTEXTMENU:
      OnContextMenu();
      return TRUE;
    case WM_DPICHANGED_MESSAGE:
      OnDpiChanged();
      return TRUE;
    case WM_CHAR:
    case WM_SYSCHAR:
      // "&S" of the bar's text: pause or continue.
      if (wParam == 's' || wParam == 'S') StartOrStop();
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDCANCEL) Leave();  // Escape leaves like "退出(&X)"
      return TRUE;
    case WM_DESTROY:
      // No worker may post to a window that is gone.
      m_pDownloader->StopAll();
      m_pDownloader->Finish(true, -1);
      return FALSE;
    default:
      return FALSE;
  }
}

void CDownloadBarDlg::OnInitDialog() {
  CentreOnScreen(m_hWnd, HWND_TOPMOST, 0);
  MakeFontForDpi(m_hFont, TEXT_HEIGHT, "微软雅黑", DialogDpi(m_hWnd));
  m_nTotal = 0;
  m_ticker.Start(0);
  m_pDownloader->m_pfnNotify = &CDownloadBarDlg::OnNotify;
  m_pDownloader->m_pUser = this;
  StartOrStop();
  m_hTooltip = CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr,
                               WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP, CW_USEDEFAULT,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, m_hWnd, nullptr,
                               GetModuleHandleA(nullptr), nullptr);
  SendMessageA(m_hTooltip, TTM_SETMAXTIPWIDTH, 0, ScaleToDpi(TIP_WIDTH, DialogDpi(m_hWnd)));
  m_strTip = "下载";
  TOOLINFOA tool = {};
  tool.cbSize = sizeof tool;
  tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;  // the tool relays the bar's mouse messages
  tool.hwnd = m_hWnd;
  tool.uId = reinterpret_cast<UINT_PTR>(m_hWnd);
  tool.lpszText = const_cast<char*>(m_strTip.c_str());
  SendMessageA(m_hTooltip, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
  SetWindowTextA(m_hWnd, "下载");
}

// Posts only: every field of the bar belongs to the window's thread.
void CDownloadBarDlg::OnNotify(int64_t, int64_t done, int kind, void* user) {
  auto* self = static_cast<CDownloadBarDlg*>(user);
  if (kind == SDN_ALL_ENDED) {
    PostMessageA(self->m_hWnd, WM_DOWNLOAD_PROGRESS, ENDED_MARK, ENDED_MARK);
  } else if (!self->m_bProgressQueued.exchange(true)) {
    PostMessageA(self->m_hWnd, WM_DOWNLOAD_PROGRESS, static_cast<uint32_t>(done >> 32),
                 static_cast<uint32_t>(done));
  }
}

void CDownloadBarDlg::StartOrStop() {
  CSegmentedDownloader& downloader = *m_pDownloader;
  if (downloader.IsRunning()) {
    downloader.StopAll();
    downloader.Finish(true, -1);  // the resume records stay
    KillTimer(m_hWnd, TICK_TIMER);
    SetText("开始(&S)");
    return;
  }
  if (!ConfirmOverwrite()) return;  // the bar stays empty
  HCURSOR previous = SetCursor(LoadCursorA(nullptr, MAKEINTRESOURCEA(32514)));  // IDC_WAIT
  bool started = downloader.Start(m_strUrl, m_strPath, m_pszName, 10);
  SetCursor(previous);
  if (!started) {
    SetText("下载失败");
    SetTip("下载失败");
    // A refused certificate is told with the server and why, as everywhere.
    if (downloader.m_certRejection.problem != platform::TlsCertProblem::None)
      TellCertificateRejected(m_desktop, downloader.m_certRejection);
    return;
  }
  m_nTotal = downloader.GetTotal();
  m_ticker.Start(downloader.GetDone());
  m_strFileName = FileNameOfPath(downloader.GetTargetPath());
  m_strSize = BarSizeText(m_nTotal);
  int64_t done = downloader.GetDone();
  PostMessageA(m_hWnd, WM_DOWNLOAD_PROGRESS, static_cast<uint32_t>(done >> 32),
               static_cast<uint32_t>(done));
  SetTimer(m_hWnd, TICK_TIMER, 1000, nullptr);
  SetText("暂停(&S)");
}

// The target the download will have: the downloader's once it has started,
// before that the given name or the name in the URL.
std::string CDownloadBarDlg::ExpectedTargetPath() const {
  if (!m_pDownloader->GetTargetPath().empty()) return m_pDownloader->GetTargetPath();
  std::string name = m_pszName ? m_pszName : DownloadFileName(m_strUrl, "", "");
  return name.empty() ? std::string() : m_strPath + "\\" + name;
}

bool CDownloadBarDlg::ConfirmOverwrite() {
  std::string target = ExpectedTargetPath();
  if (target.empty() || !platform::FileExists(target)) return true;
  return m_desktop.AskYesNo("文件“" + target + "”已存在，是否重新下载？", "提示");
}

void CDownloadBarDlg::OnProgress(WPARAM wParam, LPARAM lParam) {
  m_bProgressQueued = false;
  int64_t done = (static_cast<int64_t>(static_cast<uint32_t>(wParam)) << 32) |
                 static_cast<uint32_t>(lParam);
  SetText(BarProgressText(m_strLabel, done, m_nTotal));
  if (m_pDownloader->GetDone() == m_pDownloader->GetTotal()) {
    KillTimer(m_hWnd, TICK_TIMER);
    m_pDownloader->Finish(false, 0);
  }
}

void CDownloadBarDlg::OnAllEnded() {
  KillTimer(m_hWnd, TICK_TIMER);
  CSegmentedDownloader& downloader = *m_pDownloader;
  if (downloader.AnySegmentGaveUp()) {
    SetText("下载失败");
    SetTip("下载失败");
  } else if (downloader.GetDone() == m_nTotal) {
    // The caller runs the file after IDOK: it must really be in place.
    if (downloader.Finish(false, 0)) {
      SetText("下载完成");
      SetTip("下载完成");
      EndDialog(m_hWnd, IDOK);
      return;
    }
    SetText("下载失败");
    SetTip("下载失败");
  } else {
    SetText("开始(&S)");
    SetTip("下载");
  }
}

void CDownloadBarDlg::OnTimer() {
  SetTip(m_ticker.Tick(m_pDownloader->GetDone(), m_nTotal, m_strFileName, m_strSize));
}

void CDownloadBarDlg::OnPaint() {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(m_hWnd, &paint);
  RECT client;
  GetClientRect(m_hWnd, &client);
  HBRUSH background = CreateSolidBrush(BAR_BACKGROUND);
  FillRect(dc, &client, background);
  DeleteObject(background);
  HGDIOBJ oldFont = SelectObject(dc, m_hFont);
  SetTextColor(dc, BAR_TEXT);
  SetBkMode(dc, TRANSPARENT);
  DrawTextA(dc, m_strText.c_str(), -1, &client,
            DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS);
  SelectObject(dc, oldFont);
  EndPaint(m_hWnd, &paint);
}

// The text's font and the tip's width for the screen the bar was moved to.
void CDownloadBarDlg::OnDpiChanged() {
  int dpi = DialogDpi(m_hWnd);
  MakeFontForDpi(m_hFont, TEXT_HEIGHT, "微软雅黑", dpi);
  if (m_hTooltip) SendMessageA(m_hTooltip, TTM_SETMAXTIPWIDTH, 0, ScaleToDpi(TIP_WIDTH, dpi));
  InvalidateRect(m_hWnd, nullptr, FALSE);
}

void CDownloadBarDlg::OnContextMenu() {
  HMENU menu = CreatePopupMenu();
  AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuA(menu, MF_STRING, ID_LEAVE, "退出(&X)");
  POINT at;
  GetCursorPos(&at);
  SetForegroundWindow(m_hWnd);
  UINT chosen = TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON, at.x, at.y, 0, m_hWnd, nullptr);
  DestroyMenu(menu);
  if (chosen == ID_LEAVE) Leave();
}

void CDownloadBarDlg::Leave() {
  if (m_pDownloader->IsRunning()) {
    m_pDownloader->StopAll();
    m_pDownloader->Finish(true, -1);  // the resume records stay
  }
  EndDialog(m_hWnd, IDCANCEL);
}

void CDownloadBarDlg::SetText(const std::string& text) {
  m_strText = text;
  InvalidateRect(m_hWnd, nullptr, FALSE);
}

void CDownloadBarDlg::SetTip(const std::string& text) {
  m_strTip = text;
  if (!m_hTooltip) return;
  TOOLINFOA tool = {};
  tool.cbSize = sizeof tool;
  tool.hwnd = m_hWnd;
  tool.uId = reinterpret_cast<UINT_PTR>(m_hWnd);
  tool.lpszText = const_cast<char*>(m_strTip.c_str());
  SendMessageA(m_hTooltip, TTM_UPDATETIPTEXTA, 0, reinterpret_cast<LPARAM>(&tool));
}
