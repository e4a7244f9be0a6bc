#include "platform/win32/Win32Registry.h"

#include <vector>

namespace platform {

HKEY CWin32Registry::Root(RegRoot root) const {
  return root == RegRoot::ClassesRoot ? m_hClassesRoot : m_hCurrentUser;
}

bool CWin32Registry::QueryString(RegRoot root, const std::string& key, const std::string& name,
                                 size_t capacity, std::string& value) {
  HKEY hKey = nullptr;
  if (RegOpenKeyExA(Root(root), key.c_str(), 0, KEY_QUERY_VALUE, &hKey) != ERROR_SUCCESS)
    return false;
  std::vector<char> buffer(capacity + 1, '\0');  // one spare byte keeps it terminated
  DWORD type = 0;
  DWORD size = (DWORD)capacity;
  LONG r = RegQueryValueExA(hKey, name.c_str(), nullptr, &type, (BYTE*)buffer.data(), &size);
  RegCloseKey(hKey);
  if (r != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return false;
  value.assign(buffer.data());
  return true;
}

namespace {

// Opened with all access, or created (non-volatile) when it cannot be opened.
HKEY OpenForWriting(HKEY root, const std::string& key) {
  HKEY hKey = nullptr;
  if (RegOpenKeyExA(root, key.c_str(), 0, KEY_ALL_ACCESS, &hKey) != ERROR_SUCCESS &&
      RegCreateKeyExA(root, key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                      nullptr, &hKey, nullptr) != ERROR_SUCCESS)
    return nullptr;
  return hKey;
}

bool SetValue(HKEY root, const std::string& key, const std::string& name, DWORD type,
              const void* data, DWORD size) {
  HKEY hKey = OpenForWriting(root, key);
  if (!hKey) return false;
  LONG r = RegSetValueExA(hKey, name.c_str(), 0, type, (const BYTE*)data, size);
  RegCloseKey(hKey);
  return r == ERROR_SUCCESS;
}

}  // namespace

bool CWin32Registry::SetString(RegRoot root, const std::string& key, const std::string& name,
                               const std::string& text) {
  return SetValue(Root(root), key, name, REG_SZ, text.c_str(), (DWORD)text.size() + 1);
}

bool CWin32Registry::SetDword(RegRoot root, const std::string& key, const std::string& name,
                              uint32_t number) {
  DWORD value = number;
  return SetValue(Root(root), key, name, REG_DWORD, &value, sizeof value);
}

IRegistry& SystemRegistry() {
  static CWin32Registry registry;
  return registry;
}

}  // namespace platform
