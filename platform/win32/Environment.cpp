#include "platform/Environment.h"

#include <windows.h>
#include <shlobj.h>

namespace platform {

std::string GetEnvironmentValue(const std::string& name) {
  DWORD needed = GetEnvironmentVariableA(name.c_str(), nullptr, 0);
  if (needed == 0) return {};
  std::string value(needed, '\0');
  DWORD n = GetEnvironmentVariableA(name.c_str(), value.data(), needed);
  if (n == 0 || n >= needed) return {};
  value.resize(n);
  return value;
}

std::string UserAppDataFolder() {
  char path[MAX_PATH] = {};
  if (FAILED(SHGetFolderPathA(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, path))) return {};
  return path;
}

}  // namespace platform
