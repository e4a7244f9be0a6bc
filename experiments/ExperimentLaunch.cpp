#include "app/AssistantApp.h"

// Until experiments can be run, every resource file is handed to the shell.
int CAssistantApp::OpenResourceFile(const std::string& path, CUrlCommand& command) {
  (void)command;
  m_desktop.ShellOpen(path);
  return 1;
}
