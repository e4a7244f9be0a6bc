#pragma once
#include "app/AssistantApp.h"

// The application with its real windows: the dialogs and the main window
// that the portable object only names.
class CAssistantWnd;

class CWinAssistantApp : public CAssistantApp {
 public:
  using CAssistantApp::CAssistantApp;

  bool RunDownloadBar(const std::string& url, const std::string& dir,
                      const std::string& label) override;
  void RunMainWindow() override;
  void UpdateMainWindowTooltip() override;
  void StartScreenCapture() override;

 private:
  CAssistantWnd* m_pMainWnd = nullptr;  // while it runs
  bool m_bCapturing = false;  // the hot key again during a capture: not a second one over it
};
