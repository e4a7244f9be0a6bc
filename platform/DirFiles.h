#pragma once
#include <string>
#include <vector>

namespace platform {

// Names of the files (not directories) directly inside `dir`; empty when it
// cannot be read.
std::vector<std::string> ListFileNames(const std::string& dir);
// Whether two paths name one and the same file (through another spelling of
// a directory, a link or a short name); false when either is missing.
bool IsSameFile(const std::string& a, const std::string& b);

}  // namespace platform
