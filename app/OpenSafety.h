#pragma once
#include <string>

#include "platform/Desktop.h"

// Whether opening a path could run code: the system's judgement of the type,
// or an extension of programs, scripts, shortcuts and installers.
bool OpeningRunsCode(const std::string& path, platform::IDesktop& desktop);
// Where a path of the file form leads. Only a local absolute path (drive
// letter, colon, slash) is a file of this machine; a path of another
// machine names it (`machine`); anything else, a scheme of two or more
// letters above all, is handed by the shell to whatever program claims it.
enum class FileFormTarget { LocalFile, OtherMachine, OtherHandler };
FileFormTarget ClassifyFileFormPath(const std::string& path, std::string& machine);
// The exe form's command line: the quoted path, and the quoted argument if any.
std::string BuildProgramCommandLine(const std::string& path, const std::string& args);
