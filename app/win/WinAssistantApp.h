#pragma once
#include "app/AssistantApp.h"
#include "tools/win/AddinInstallWindow.h"

// The application with its real windows: the dialogs and the main window
// that the portable object only names.
class CWinAssistantApp final : public CAssistantApp {
 public:
  using CAssistantApp::CAssistantApp;
  ~CWinAssistantApp() override;

  bool RunDownloadBar(const std::string& url, const std::string& dir,
                      const std::string& label) override;
  bool ShowLoginDialog(const std::string& server, int port) override;
  void ShowCdnServerDialog() override;
  void ShowExamErrorList() override;
  void ShowAddinInstallWindow(bool shown) override;
  // Public: test programs that run commands without start-up create it too.
  void CreateAddinInstallWindow() override;

 protected:
  bool CheckForUpdate() override;

 private:
  CAddinInstallWindow m_addinInstallWindow;
};
