#pragma once
#include <string>
#include <vector>

#include "app/UrlCommand.h"
#include "platform/Desktop.h"

// The application object: one per process, built before start-up.
class CAssistantApp {
 public:
  explicit CAssistantApp(platform::IDesktop& desktop = platform::SystemDesktop());

  // The process's whole life from its command line; the exit code.
  int Run(const std::string& commandLine);
  // Carries out one velmoraurl:// URL; the result is not looked at by callers.
  int DispatchUrl(const std::string& url);
  // The resource form: login, permission, download slot, then open or download.
  int RunResourceCommand(CUrlCommand& command);

 private:
  int OpenLocalFile(const CUrlCommand& command);
  int StartLocalProgram(const CUrlCommand& command);

  platform::IDesktop& m_desktop;
};
