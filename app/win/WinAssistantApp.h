#pragma once
#include "app/AssistantApp.h"

// The application with its real windows: the dialogs and the main window
// that the portable object only names.
class CWinAssistantApp final : public CAssistantApp {
 public:
  using CAssistantApp::CAssistantApp;

  bool RunDownloadBar(const std::string& url, const std::string& dir,
                      const std::string& label) override;
  std::unique_ptr<IDownloadProgress> CreateDownloadProgress() override;
};
