#pragma once
#include <string>

#include "tools/ToolContext.h"

// The platform's add-ins for the word processor and the presentation program.

void InstallOfficeAddinsCommand(const ToolContext& context);  // 1148
// Fetches, registers and places the add-ins and their companions; false when
// a fetch failed (what arrived before it stays).
bool InstallOfficeAddins(const ToolContext& context);
// Starts the system directory's "regsvr32.exe" for the library, not waiting
// for it; false when it cannot be started or there is no system directory.
bool RegisterLibrary(const ToolContext& context, const std::string& path);
// The major version in a CurVer text such as "PowerPoint.Application.16":
// the digits after the last ".", which must not be the first character;
// -1 when there is no such number.
int OfficeMajorVersion(const std::string& curVer);
// Turns the presentation program's hyperlink warning off for the user.
bool SetHyperlinkWarningOff(platform::IRegistry& registry);
