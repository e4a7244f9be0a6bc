#pragma once
#include <windows.h>

#include "app/AssistantApp.h"
#include "tools/win/AddinInstallWindow.h"

// The application with its real windows: the dialogs and the main window
// that the portable object only names.
class CAssistantWnd;

class CWinAssistantApp : public CAssistantApp {
 public:
  using CAssistantApp::CAssistantApp;
  ~CWinAssistantApp() override;

  bool RunDownloadBar(const std::string& url, const std::string& dir, const std::string& name,
                      const std::string& label) override;
  bool ShowLoginDialog(const std::string& server, int port) override;
  void ShowCdnServerDialog() override;
  void ShowExamErrorList() override;
  void ShowAddinInstallWindow(bool shown) override;
  // Public: test programs that run commands without start-up create it too.
  void CreateAddinInstallWindow() override;
  void RunMainWindow() override;
  void UpdateMainWindowTooltip() override;
  void StartScreenCapture() override;
  std::unique_ptr<IDownloadProgress> CreateDownloadProgress() override;

 protected:
  bool CheckForUpdate() override;
  // The document tools' installer may still be fetching ToPack.exe.
  void WaitForNetworkWorkers() override;

 private:
  HWND DialogOwner() const;

  CAddinInstallWindow m_addinInstallWindow;
  CAssistantWnd* m_pMainWnd = nullptr;  // while it runs
  bool m_bCapturing = false;  // the hot key again during a capture: not a second one over it
};
