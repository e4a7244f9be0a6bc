#pragma once
#include <string>

// Where the system and the program are, in the system code page.
namespace platform {

// The program's own file, as the system loaded it; empty when unknown.
std::string ProgramPath();
// The Windows directory and the user's temporary directory, each ending in
// "\" (empty when the system has none).
std::string WindowsDirectory();
std::string TempDirectory();
// The system directory (System32), ending in "\"; empty when there is none.
std::string SystemDirectory();

}  // namespace platform
