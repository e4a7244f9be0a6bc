#include "platform/Profile.h"

#include <windows.h>

#include <vector>

namespace platform {

bool WriteProfileText(const std::string& path, const std::string& section, const std::string& key,
                      const std::string& value) {
  return WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), path.c_str()) !=
         FALSE;
}

std::string ReadProfileText(const std::string& path, const std::string& section,
                            const std::string& key, const std::string& fallback,
                            size_t capacity) {
  if (capacity == 0) return std::string();
  std::vector<char> buffer(capacity, '\0');
  DWORD got = GetPrivateProfileStringA(section.c_str(), key.c_str(), fallback.c_str(),
                                       buffer.data(), (DWORD)capacity, path.c_str());
  return std::string(buffer.data(), got);
}

}  // namespace platform
