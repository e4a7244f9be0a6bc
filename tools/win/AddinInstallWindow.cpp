#include "tools/win/AddinInstallWindow.h"

#include "res/tools_ids.h"
#include "ui/win/DialogDpi.h"

namespace {

INT_PTR CALLBACK StatusProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) return TRUE;
  return FollowScreenDpi(hWnd, message, wParam, lParam) ? TRUE : FALSE;
}

}  // namespace

CAddinInstallWindow::~CAddinInstallWindow() {
  if (m_hWnd) DestroyWindow(m_hWnd);
}

bool CAddinInstallWindow::Create() {
  if (!m_hWnd)
    m_hWnd = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_ADDIN_INSTALL),
                                GetDesktopWindow(), StatusProc, 0);
  return m_hWnd != nullptr;
}

void CAddinInstallWindow::Show(bool shown) {
  if (m_hWnd) ShowWindowAsync(m_hWnd, shown ? SW_SHOWNOACTIVATE : SW_HIDE);
}
