#pragma once
#include <string>

#include "tools/ToolCommands.h"

class CAssistantApp;

// The application's side of the companion tools and the update check.

// The tool commands' view of the application: its desktop, windows, tool
// values and directories, with the system's HTTP client, libraries and
// registry.
ToolContext MakeToolContext(CAssistantApp& app);

// The tool server is the built-in platform's host, reached over HTTPS when
// the machine's policy server or the server last logged in to names that
// host with "https://".
std::string ToolServerHost(const std::string& policyServer, const std::string& lastHost);

// The main-window commands of the companion tools; false when `id` is none.
bool RunToolCommand(CAssistantApp& app, int id);

// The update check of the menu: tells the user when the program is current.
void CheckForUpdateFromMenu(CAssistantApp& app);

// The update check of the first process's start-up; false when the program
// must end.
bool CheckForUpdateAtStartup(CAssistantApp& app);
