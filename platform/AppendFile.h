#pragma once
#include <string>

namespace platform {

// Appends bytes to a file, creating it when missing, as one write at its end
// even when other processes append at the same time. False when the file
// cannot be opened or written.
bool AppendToFile(const std::string& path, const std::string& bytes);

}  // namespace platform
