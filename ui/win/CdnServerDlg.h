#pragma once
#include <windows.h>

#include "app/SharedState.h"
#include "platform/Desktop.h"

// The CDN server typed in by the user; it becomes the current one (the
// shared block's, seen by every process of the program) only when it
// answers. Ends with IDOK when a server was stored, IDCANCEL otherwise.
class CCdnServerDlg {
 public:
  CCdnServerDlg(SharedState& state, platform::IDesktop& desktop);
  CCdnServerDlg(const CCdnServerDlg&) = delete;
  CCdnServerDlg& operator=(const CCdnServerDlg&) = delete;

  INT_PTR DoModal(HWND parent);

 private:
  template <typename Dialog>
  friend INT_PTR CALLBACK RouteDialogMessage(HWND, UINT, WPARAM, LPARAM);
  INT_PTR Handle(UINT message, WPARAM wParam, LPARAM lParam);
  void OnInitDialog();
  void OnOk();

  SharedState& m_state;
  platform::IDesktop& m_desktop;
  HWND m_hWnd = nullptr;
};
