#include "tools/win/AddinInstallWindow.h"

#include "res/tools_ids.h"

namespace {

INT_PTR CALLBACK StatusProc(HWND, UINT message, WPARAM, LPARAM) {
  return message == WM_INITDIALOG ? TRUE : FALSE;
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
