#include "app/win/AssistantWnd.h"

#include <commctrl.h>
#include <windowsx.h>

#include <cstring>
#include <string>
#include <vector>

#include "BuildConfig.h"
#include "app/AssistantApp.h"
#include "app/AssistantWndText.h"
#include "app/MenuCommands.h"
#include "platform/FolderPicker.h"
#include "res/mainwnd_ids.h"
#include "res/resource.h"
#include "tools/win/MainMenu.h"
#include "ui/DpiScale.h"
#include "ui/win/DialogRouting.h"
#include "ui/win/WindowDpi.h"

namespace {

constexpr int kAboutSysCommand = 16;  // 16 to 31 once masked: the About box
constexpr int kMenuInset = 16;

HINSTANCE Instance() { return GetModuleHandleA(nullptr); }

INT_PTR CALLBACK AboutProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    // The program's one version, as the version resource and the package carry it.
    SetDlgItemTextA(hWnd, IDC_ABOUT_VERSION, "Velmora助手 " VELMORA_VERSION_SHORT " 版");
    return TRUE;
  }
  if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
    EndDialog(hWnd, LOWORD(wParam));
    return TRUE;
  }
  // Moved to a screen of another DPI, it is laid out again as every dialog is.
  return FollowScreenDpi(hWnd, message, wParam, lParam) ? TRUE : FALSE;
}

// The bitmap's pixels as top-down rows of 0x00RRGGBB.
std::vector<uint32_t> ReadPixels(HBITMAP bitmap, int width, int height) {
  std::vector<uint32_t> pixels((size_t)width * height);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  HDC screen = GetDC(nullptr);
  int rows = GetDIBits(screen, bitmap, 0, height, pixels.data(), &info, DIB_RGB_COLORS);
  ReleaseDC(nullptr, screen);
  if (rows != height) pixels.clear();
  return pixels;
}

HRGN RegionOfRuns(const std::vector<PixelRun>& runs) {
  HRGN region = CreateRectRgn(0, 0, 0, 0);
  for (const PixelRun& run : runs) {
    HRGN row = CreateRectRgn(run.left, run.y, run.right, run.y + 1);
    CombineRgn(region, region, row, RGN_OR);
    DeleteObject(row);
  }
  return region;
}

// A face bitmap drawn for 96 DPI, stretched to the screen's DPI so that the
// window keeps its size on a scaled screen.
HBITMAP LoadFace(int id, int dpi) {
  HBITMAP face = (HBITMAP)LoadImageA(Instance(), MAKEINTRESOURCEA(id), IMAGE_BITMAP, 0, 0,
                                     LR_CREATEDIBSECTION);
  BITMAP info{};
  if (!face || dpi == DESIGN_DPI || !GetObjectA(face, sizeof info, &info)) return face;
  HBITMAP scaled = (HBITMAP)LoadImageA(Instance(), MAKEINTRESOURCEA(id), IMAGE_BITMAP,
                                       ScaleToDpi(info.bmWidth, dpi),
                                       ScaleToDpi(info.bmHeight, dpi), LR_CREATEDIBSECTION);
  if (!scaled) return face;
  DeleteObject(face);
  return scaled;
}

void DrawBitmap(HDC dc, HBITMAP bitmap) {
  BITMAP info{};
  if (!bitmap || !GetObjectA(bitmap, sizeof info, &info)) return;
  HDC memory = CreateCompatibleDC(dc);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(dc, 0, 0, info.bmWidth, info.bmHeight, memory, 0, 0, SRCCOPY);
  SelectObject(memory, old);
  DeleteDC(memory);
}

}  // namespace

CAssistantWnd::CAssistantWnd(CAssistantApp& app) : m_app(app) {}

CAssistantWnd::~CAssistantWnd() {
  if (m_hbmNormal) DeleteObject(m_hbmNormal);
  if (m_hbmHover) DeleteObject(m_hbmHover);
}

INT_PTR CAssistantWnd::DoModal() {
  return DialogBoxParamA(Instance(), MAKEINTRESOURCEA(IDD_ASSISTANT), nullptr,
                         RouteDialogMessage<CAssistantWnd>, reinterpret_cast<LPARAM>(this));
}

void CAssistantWnd::OnInitDialog() {
  SetWindowTextA(m_hWnd, "Velmora助手");
  m_tooltip = CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr,
                              WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP, CW_USEDEFAULT,
                              CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, m_hWnd, nullptr,
                              Instance(), nullptr);
  if (m_tooltip) SendMessageA(m_tooltip, TTM_ACTIVATE, TRUE, 0);

  SetWindowLongPtrA(m_hWnd, GWL_EXSTYLE,
                    GetWindowLongPtrA(m_hWnd, GWL_EXSTYLE) | WS_EX_TOOLWINDOW);
  SetWindowPos(m_hWnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  LoadFaces(WindowDpi(m_hWnd));
  ShapeByFace();
  MoveToStoredPosition();  // in the face's size, which decides whether it is on screen

  char about[128] = {};
  if (LoadStringA(Instance(), IDS_ABOUTBOX, about, sizeof about) > 0) {
    if (HMENU system = GetSystemMenu(m_hWnd, FALSE)) {
      AppendMenuA(system, MF_SEPARATOR, 0, nullptr);
      AppendMenuA(system, MF_STRING, kAboutSysCommand, about);
    }
  }
  m_hIcon = (HICON)LoadImageA(Instance(), MAKEINTRESOURCEA(IDR_MAINFRAME), IMAGE_ICON,
                              GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), 0);
  m_hSmallIcon = (HICON)LoadImageA(Instance(), MAKEINTRESOURCEA(IDR_MAINFRAME), IMAGE_ICON,
                                   GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0);
  SendMessageA(m_hWnd, WM_SETICON, ICON_BIG, (LPARAM)m_hIcon);
  SendMessageA(m_hWnd, WM_SETICON, ICON_SMALL, (LPARAM)m_hSmallIcon);
  // Taken by another program: the menu entry still offers the capture.
  RegisterHotKey(m_hWnd, ID_SCREEN_CAPTURE, MOD_ALT | MOD_SHIFT, 'Z');
  UpdateTooltip();
}

void CAssistantWnd::MoveToStoredPosition() {
  RECT window;
  GetWindowRect(m_hWnd, &window);
  const CFileListStore& store = *m_app.m_pFileList;
  ScreenBox stored{store.m_nWindowLeft, store.m_nWindowTop,
                   store.m_nWindowLeft + (window.right - window.left),
                   store.m_nWindowTop + (window.bottom - window.top)};
  ScreenBox screen{GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN), 0, 0};
  screen.right = screen.left + GetSystemMetrics(SM_CXVIRTUALSCREEN);
  screen.bottom = screen.top + GetSystemMetrics(SM_CYVIRTUALSCREEN);
  ScreenBox placed = KeepOnScreen(stored, screen);
  SetWindowPos(m_hWnd, nullptr, placed.left, placed.top, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CAssistantWnd::LoadFaces(int dpi) {
  if (m_hbmNormal) DeleteObject(m_hbmNormal);
  if (m_hbmHover) DeleteObject(m_hbmHover);
  m_hbmNormal = LoadFace(IDB_FACE_NORMAL, dpi);
  m_hbmHover = LoadFace(IDB_FACE_HOVER, dpi);
}

// Moved to a screen of another DPI: the face is drawn anew for it, where the
// system suggests.
void CAssistantWnd::OnDpiChanged(int dpi, const RECT& suggested) {
  LoadFaces(dpi);
  ShapeByFace();
  SetWindowPos(m_hWnd, nullptr, suggested.left, suggested.top, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  InvalidateRect(m_hWnd, nullptr, TRUE);
}

void CAssistantWnd::ShapeByFace() {
  BITMAP face{};
  if (!m_hbmNormal || !GetObjectA(m_hbmNormal, sizeof face, &face)) return;
  std::vector<uint32_t> pixels = ReadPixels(m_hbmNormal, face.bmWidth, face.bmHeight);
  if (pixels.empty()) return;
  bool visible = IsWindowVisible(m_hWnd);
  ShowWindow(m_hWnd, SW_HIDE);
  SetWindowPos(m_hWnd, nullptr, 0, 0, face.bmWidth, face.bmHeight,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  // The window owns the region from here on.
  SetWindowRgn(m_hWnd, RegionOfRuns(NonWhiteRuns(pixels.data(), face.bmWidth, face.bmHeight)),
               TRUE);
  if (visible) ShowWindow(m_hWnd, SW_SHOW);
}

void CAssistantWnd::UpdateTooltip() {
  const CServerAccount* account = m_app.m_bLoggedIn ? m_app.FindSavedAccount("", 0) : nullptr;
  std::string text = MainWindowTooltip(m_app.m_bLoggedIn, account);
  if (!m_tooltip) return;
  TOOLINFOA tool{};
  // The size that every version of the control accepts.
  tool.cbSize = TTTOOLINFOA_V2_SIZE;
  tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;  // the tool relays the window's mouse messages
  tool.hwnd = m_hWnd;
  tool.uId = reinterpret_cast<UINT_PTR>(m_hWnd);
  tool.lpszText = text.data();
  SendMessageA(m_tooltip, m_bToolAdded ? TTM_UPDATETIPTEXTA : TTM_ADDTOOLA, 0, (LPARAM)&tool);
  m_bToolAdded = true;
}

void CAssistantWnd::HideToTray() {
  if (m_bInTray) return;
  m_nid = NOTIFYICONDATAA{};
  m_nid.cbSize = NOTIFYICONDATAA_V1_SIZE;  // the classic structure
  m_nid.hWnd = m_hWnd;
  m_nid.uID = 0;
  m_nid.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  m_nid.uCallbackMessage = WM_TRAY_NOTIFY;
  m_nid.hIcon = m_hSmallIcon ? m_hSmallIcon : m_hIcon;
  std::string tip = TrayTip(m_app.m_bLoggedIn);
  strncpy(m_nid.szTip, tip.c_str(), sizeof m_nid.szTip - 1);
  // Without the icon (no notification area, or the shell refused it) a
  // hidden window could neither be reached nor ended: it stays in view.
  if (!Shell_NotifyIconA(NIM_ADD, &m_nid)) return;
  ShowWindow(m_hWnd, SW_HIDE);
  m_bInTray = TRUE;
}

void CAssistantWnd::ShowFromTray() {
  if (m_bInTray) Shell_NotifyIconA(NIM_DELETE, &m_nid);
  ShowWindow(m_hWnd, SW_SHOW);
  m_bInTray = FALSE;
}

INT_PTR CAssistantWnd::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
  // A restarted shell has forgotten the icon; without it a window in the
  // tray could not be reached again.
  static const UINT taskbarCreated = RegisterWindowMessageA("TaskbarCreated");
  if (taskbarCreated != 0 && message == taskbarCreated && m_bInTray) {
    if (!Shell_NotifyIconA(NIM_ADD, &m_nid)) ShowFromTray();
    return TRUE;
  }
  POINT point{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
  switch (message) {
    case WM_PAINT:
      OnPaint();
      return TRUE;
    case WM_ERASEBKGND:
      return TRUE;  // the face covers the whole window
    case WM_LBUTTONDOWN:
      OnLButtonDown(point);
      return TRUE;
    case WM_MOUSEMOVE:
      OnMouseMove(point, wParam);
      return TRUE;
    case WM_LBUTTONUP:
      OnLButtonUp(point);
      return TRUE;
    case WM_MOUSELEAVE:
      OnMouseLeave();
      return TRUE;
    case WM_LBUTTONDBLCLK:
      PostMessageA(m_hWnd, WM_COMMAND, ID_HOME_PAGE, 0);
      return TRUE;
    case WM_RBUTTONUP:
      OnContextMenu();
      return TRUE;
    case WM_SETCURSOR:
      if (!m_hHandCursor) m_hHandCursor = LoadCursorA(nullptr, (LPCSTR)IDC_HAND);
      SetCursor(m_hHandCursor);
      SetWindowLongPtrA(m_hWnd, DWLP_MSGRESULT, TRUE);
      return TRUE;
    case WM_TRAY_NOTIFY:
      OnTrayNotify(lParam);
      return TRUE;
    case WM_HOTKEY:
      if (wParam == ID_SCREEN_CAPTURE) m_app.StartScreenCapture();
      return TRUE;
    case WM_COMMAND:
      return OnCommand(LOWORD(wParam));
    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) == kAboutSysCommand) {
        OnCommand(ID_APP_ABOUT);
        return TRUE;
      }
      return FALSE;
    case WM_CLOSE:
      OnExit();  // as "退出(&X)": the position is kept
      return TRUE;
    case WM_QUERYDRAGICON:
      return (INT_PTR)m_hIcon;
    case WM_DPICHANGED_MESSAGE:
      OnDpiChanged(HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
      return TRUE;
    case WM_DESTROY:
      OnDestroy();
      return FALSE;
  }
  return FALSE;
}

void CAssistantWnd::OnPaint() {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(m_hWnd, &paint);
  if (IsIconic(m_hWnd)) {
    RECT client;
    GetClientRect(m_hWnd, &client);
    int x = (client.right - GetSystemMetrics(SM_CXICON) + 1) / 2;
    int y = (client.bottom - GetSystemMetrics(SM_CYICON) + 1) / 2;
    DrawIcon(dc, x, y, m_hIcon);
  } else {
    DrawBitmap(dc, m_bHover ? m_hbmHover : m_hbmNormal);
  }
  EndPaint(m_hWnd, &paint);
}

void CAssistantWnd::OnLButtonDown(POINT point) {
  SetCapture(m_hWnd);
  m_drag.Down(point.x, point.y);
}

void CAssistantWnd::OnMouseMove(POINT point, WPARAM keys) {
  if (GetCapture() == m_hWnd && (keys & MK_LBUTTON)) {
    MoveBy(m_drag.Move(point.x, point.y));
    return;
  }
  if (m_bHover) return;
  TRACKMOUSEEVENT track{sizeof track, TME_LEAVE, m_hWnd, 0};
  TrackMouseEvent(&track);
  m_bHover = TRUE;
  InvalidateRect(m_hWnd, nullptr, FALSE);
}

void CAssistantWnd::OnLButtonUp(POINT point) {
  if (GetCapture() != m_hWnd) return;
  ReleaseCapture();
  MoveBy(m_drag.Up(point.x, point.y));
}

void CAssistantWnd::MoveBy(CWindowDrag::Step step) {
  if (!step.Moves()) return;
  RECT window;
  GetWindowRect(m_hWnd, &window);
  SetWindowPos(m_hWnd, nullptr, window.left + step.dx, window.top + step.dy, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CAssistantWnd::OnMouseLeave() {
  m_bHover = FALSE;
  InvalidateRect(m_hWnd, nullptr, FALSE);
}

void CAssistantWnd::OnContextMenu() {
  RECT window;
  GetWindowRect(m_hWnd, &window);
  ShowMainMenu(MainMenuStateOf(m_app, false), m_hWnd,
               POINT{window.left + kMenuInset, window.bottom - kMenuInset});
}

void CAssistantWnd::OnTrayNotify(LPARAM mouseMessage) {
  if (!IsWindowEnabled(m_hWnd)) {
    // A dialog of the window is open (the login of "切换账号...", say): the
    // icon brings it forward instead of a menu that could open a second one.
    if (mouseMessage == WM_RBUTTONUP || mouseMessage == WM_LBUTTONDBLCLK)
      SetForegroundWindow(GetLastActivePopup(m_hWnd));
  } else if (mouseMessage == WM_RBUTTONUP) {
    POINT cursor;
    GetCursorPos(&cursor);
    SetForegroundWindow(m_hWnd);
    ShowMainMenu(MainMenuStateOf(m_app, true), m_hWnd, cursor);
  } else if (mouseMessage == WM_LBUTTONDBLCLK) {
    ShowFromTray();
  }
  SetWindowLongPtrA(m_hWnd, DWLP_MSGRESULT, 0);
}

// Esc and Enter arrive as IDCANCEL and IDOK: the window is not closed by them.
bool CAssistantWnd::OnCommand(int id) {
  switch (id) {
    case IDOK:
    case IDCANCEL:
      return true;
    case ID_HIDE_TO_TRAY:
      HideToTray();
      return true;
    case ID_SHOW_FROM_TRAY:
      ShowFromTray();
      return true;
    case ID_APP_EXIT:
      OnExit();
      return true;
    case ID_APP_ABOUT:
      DialogBoxParamA(Instance(), MAKEINTRESOURCEA(IDD_ABOUTBOX), m_hWnd, AboutProc, 0);
      return true;
    case ID_SCREEN_CAPTURE:
      m_app.StartScreenCapture();
      return true;
  }
  // Every box and picker of the commands is owned by the desktop.
  return RunMenuCommand(m_app, platform::SystemFolderPicker(), id);
}

// The position is saved with the state file when the program ends.
void CAssistantWnd::OnExit() {
  RECT window;
  GetWindowRect(m_hWnd, &window);
  m_app.m_pFileList->m_nWindowLeft = window.left;
  m_app.m_pFileList->m_nWindowTop = window.top;
  EndDialog(m_hWnd, IDOK);
}

void CAssistantWnd::OnDestroy() {
  if (m_bInTray) Shell_NotifyIconA(NIM_DELETE, &m_nid);
  m_bInTray = FALSE;
  UnregisterHotKey(m_hWnd, ID_SCREEN_CAPTURE);
  if (m_tooltip) DestroyWindow(m_tooltip);
  m_tooltip = nullptr;
  if (m_hIcon) DestroyIcon(m_hIcon);
  if (m_hSmallIcon) DestroyIcon(m_hSmallIcon);
  m_hIcon = m_hSmallIcon = nullptr;
  m_hWnd = nullptr;
}
