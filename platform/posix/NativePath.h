#pragma once
#include <string>

namespace platform {

// A path in the system's text ("\" separators, GBK) as this machine names it
// (UTF-8, "/" separators).
std::string NativePath(const std::string& path);

}  // namespace platform
