#include "app/AssistantApp.h"

#include "app/CommandLine.h"

CAssistantApp::CAssistantApp(platform::IDesktop& desktop) : m_desktop(desktop) {}

int CAssistantApp::Run(const std::string& commandLine) {
  std::vector<std::string> tokens;
  if (!SplitCommandLine(commandLine, tokens)) return 0;
  if (tokens.size() >= 2) DispatchUrl(tokens[1]);
  return 0;
}

// The resource command joins here once login and downloads exist.
int CAssistantApp::RunResourceCommand(CUrlCommand& command) {
  (void)command;
  return 0;
}
