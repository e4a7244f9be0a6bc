#include "platform/Environment.h"

#include <cstdlib>

#include "platform/CodePage.h"

namespace platform {

// The environment holds UTF-8 here; the system's text is GBK.
std::string GetEnvironmentValue(const std::string& name) {
  const char* value = getenv(name.c_str());
  return value ? WideToAnsi(Utf8ToWide(value)) : std::string();
}

// No shell folders on this platform: the caller falls back further.
std::string UserAppDataFolder() { return {}; }

}  // namespace platform
