#include "app/win/WinAssistantApp.h"

#include <windows.h>
#include <commctrl.h>

#include "app/win/AssistantWnd.h"
#include "app/win/WinDownloadProgress.h"
#include "experiments/win/ExamErrListDlg.h"
#include "app/AppToolCommands.h"
#include "ui/win/CapturePreviewDlg.h"
#include "ui/win/CaptureDlg.h"
#include "ui/win/CdnServerDlg.h"
#include "ui/win/DownloadBarDlg.h"
#include "ui/win/LoginDlg.h"

// The document tools' installer reports to this object's status window: it
// must have ended before the object goes.
CWinAssistantApp::~CWinAssistantApp() { WaitForToolInstaller(); }

bool CWinAssistantApp::RunDownloadBar(const std::string& url, const std::string& dir,
                                      const std::string& name, const std::string& label) {
  CDownloadBarDlg bar(Desktop());
  bar.m_strUrl = url;
  bar.m_strPath = dir;
  bar.m_pszName = name.c_str();
  bar.m_strLabel = label;
  return bar.DoModal(GetDesktopWindow()) == IDOK;
}

// The menu's dialogs are owned by the floating window while it runs, also
// when it is hidden in the notification area: the window is disabled under
// them, so neither a second copy nor another of them opens over the first.
HWND CWinAssistantApp::DialogOwner() const {
  return m_pMainWnd ? m_pMainWnd->GetSafeHwnd() : GetActiveWindow();
}

bool CWinAssistantApp::ShowLoginDialog(const std::string& server, int port) {
  CLoginDlg login(LoginContextFor(server, port));
  return login.DoModal(m_pMainWnd ? m_pMainWnd->GetSafeHwnd() : nullptr) == IDOK;
}

void CWinAssistantApp::ShowCdnServerDialog() {
  CCdnServerDlg dialog(Shared(), Desktop());
  dialog.DoModal(DialogOwner());
}

void CWinAssistantApp::ShowExamErrorList() {
  CExamErrListDlg list(*m_pExamErrors, Desktop());
  list.DoModal(DialogOwner());
}

bool CWinAssistantApp::CheckForUpdate() { return CheckForUpdateAtStartup(*this); }

void CWinAssistantApp::WaitForNetworkWorkers() { WaitForToolInstaller(); }

void CWinAssistantApp::CreateAddinInstallWindow() { m_addinInstallWindow.Create(); }

void CWinAssistantApp::ShowAddinInstallWindow(bool shown) { m_addinInstallWindow.Show(shown); }

void CWinAssistantApp::RunMainWindow() {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES};
  InitCommonControlsEx(&controls);
  CAssistantWnd window(*this);
  m_pMainWnd = &window;
  window.DoModal();
  m_pMainWnd = nullptr;
}

void CWinAssistantApp::UpdateMainWindowTooltip() {
  if (m_pMainWnd) m_pMainWnd->UpdateTooltip();
}

void CWinAssistantApp::StartScreenCapture() {
  if (m_bCapturing) return;
  m_bCapturing = true;
  // Above a dialog that the window has open, which must stay modal when the
  // capture ends.
  HWND owner = m_pMainWnd ? GetLastActivePopup(m_pMainWnd->GetSafeHwnd()) : nullptr;
  CCaptureDlg capture(Desktop());
  if (capture.DoModal(owner) == IDOK) {
    CCapturePreviewDlg preview;
    preview.DoModal(owner);
  }
  m_bCapturing = false;
}

std::unique_ptr<IDownloadProgress> CWinAssistantApp::CreateDownloadProgress() {
  return std::make_unique<CWinDownloadProgress>();
}
