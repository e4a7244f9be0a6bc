#include "ui/win/CdnServerDlg.h"

#include <string>

#include "res/login_ids.h"
#include "ui/ServerRules.h"
#include "ui/win/DialogRouting.h"

CCdnServerDlg::CCdnServerDlg(SharedState& state, platform::IDesktop& desktop)
    : m_state(state), m_desktop(desktop) {}

INT_PTR CCdnServerDlg::DoModal(HWND parent) {
  return DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_CDN_SERVER), parent,
                         &RouteDialogMessage<CCdnServerDlg>, reinterpret_cast<LPARAM>(this));
}

INT_PTR CCdnServerDlg::Handle(UINT message, WPARAM wParam, LPARAM) {
  if (message != WM_COMMAND) return FALSE;
  if (LOWORD(wParam) == IDOK) OnOk();
  if (LOWORD(wParam) == IDCANCEL) EndDialog(m_hWnd, IDCANCEL);
  return TRUE;
}

void CCdnServerDlg::OnInitDialog() {
  SetDlgItemTextA(m_hWnd, IDC_CDN_SERVER, ReadCdnServer(m_state).c_str());
}

void CCdnServerDlg::OnOk() {
  HWND edit = GetDlgItem(m_hWnd, IDC_CDN_SERVER);
  std::string text(static_cast<size_t>(GetWindowTextLengthA(edit)) + 1, '\0');
  text.resize(static_cast<size_t>(GetWindowTextA(edit, text.data(), (int)text.size())));
  if (AcceptCdnServer(text, m_state, m_desktop)) EndDialog(m_hWnd, IDOK);
}
