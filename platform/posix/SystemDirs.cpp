#include "platform/SystemDirs.h"

#include <unistd.h>

#include <cstdlib>

#include "platform/CodePage.h"

namespace platform {

std::string ProgramPath() {
  char buffer[4096];
  ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  return n > 0 ? WideToAnsi(Utf8ToWide(std::string(buffer, (size_t)n))) : std::string();
}

// No Windows or system directory here; the temporary one comes from the
// environment.
std::string WindowsDirectory() { return {}; }
std::string SystemDirectory() { return {}; }

std::string TempDirectory() {
  const char* dir = getenv("TMPDIR");
  std::string path = dir && *dir ? dir : "/tmp";
  return WideToAnsi(Utf8ToWide(path)) + "\\";
}

}  // namespace platform
