#include "app/win/WinAssistantApp.h"

#include "tools/ToolCommands.h"
#include "ui/win/DownloadBarDlg.h"

// The document tools' installer reports to this object's status window: it
// must have ended before the object goes.
CWinAssistantApp::~CWinAssistantApp() { WaitForToolInstaller(); }

bool CWinAssistantApp::RunDownloadBar(const std::string& url, const std::string& dir,
                                      const std::string& label) {
  CDownloadBarDlg bar(Desktop());
  bar.m_strUrl = url;
  bar.m_strPath = dir;
  bar.m_strLabel = label;
  return bar.DoModal(GetDesktopWindow()) == IDOK;
}

bool CWinAssistantApp::CheckForUpdate() { return CheckForUpdateAtStartup(*this); }

void CWinAssistantApp::CreateAddinInstallWindow() { m_addinInstallWindow.Create(); }

void CWinAssistantApp::ShowAddinInstallWindow(bool shown) { m_addinInstallWindow.Show(shown); }
