#pragma once
#include <string>

#include "platform/Desktop.h"

// Whether opening a path could run code: the system's judgement of the type,
// or an extension of programs, scripts, shortcuts and installers.
bool OpeningRunsCode(const std::string& path, platform::IDesktop& desktop);
// A path on another machine (//host/share/... once slashes are normalised).
bool IsRemotePath(const std::string& path);
// The exe form's command line: the quoted path, and the quoted argument if any.
std::string BuildProgramCommandLine(const std::string& path, const std::string& args);
