#pragma once
#include <windows.h>
#include <shellapi.h>

#include "app/FloatingWindow.h"

class CAssistantApp;

// The notification-area icon's callback message.
constexpr UINT WM_TRAY_NOTIFY = 0x421;
// Commands the window handles itself; the menu offers them.
constexpr int ID_HIDE_TO_TRAY = 1125;
constexpr int ID_SHOW_FROM_TRAY = 1126;
constexpr int ID_APP_EXIT = 1127;
constexpr int ID_APP_ABOUT = 1128;
constexpr int ID_SCREEN_CAPTURE = 1151;  // also the hot key's id
constexpr int ID_HOME_PAGE = 1132;       // the menu's command for the platform's page

// The assistant's small floating window: always on top, without a taskbar
// button, shaped like its face; dragged, double-clicked for the platform's
// page, right-clicked for the main menu, or sent to the notification area.
// Runs modally until "退出(&X)".
class CAssistantWnd {
 public:
  explicit CAssistantWnd(CAssistantApp& app);
  ~CAssistantWnd();
  CAssistantWnd(const CAssistantWnd&) = delete;
  CAssistantWnd& operator=(const CAssistantWnd&) = delete;

  INT_PTR DoModal();
  void UpdateTooltip();
  void HideToTray();
  void ShowFromTray();
  HWND GetSafeHwnd() const { return m_hWnd; }

 private:
  template <typename Dialog>
  friend INT_PTR CALLBACK RouteDialogMessage(HWND, UINT, WPARAM, LPARAM);
  INT_PTR Handle(UINT message, WPARAM wParam, LPARAM lParam);
  void OnInitDialog();
  void ShapeByFace();
  void LoadFaces(int dpi);
  void OnDpiChanged(int dpi, const RECT& suggested);
  void MoveToStoredPosition();
  void OnPaint();
  void OnLButtonDown(POINT point);
  void OnMouseMove(POINT point, WPARAM keys);
  void OnLButtonUp(POINT point);
  void OnMouseLeave();
  void OnContextMenu();
  bool OnCommand(int id);
  void OnTrayNotify(LPARAM mouseMessage);
  void OnExit();
  void OnDestroy();
  void MoveBy(CWindowDrag::Step step);

  CAssistantApp& m_app;
  HWND m_hWnd = nullptr;
  HICON m_hIcon = nullptr;
  HICON m_hSmallIcon = nullptr;
  HWND m_tooltip = nullptr;
  bool m_bToolAdded = false;
  HCURSOR m_hHandCursor = nullptr;
  HBITMAP m_hbmNormal = nullptr;
  HBITMAP m_hbmHover = nullptr;
  BOOL m_bInTray = FALSE;
  BOOL m_bHover = FALSE;
  CWindowDrag m_drag;
  NOTIFYICONDATAA m_nid{};
};
