#include "platform/Policy.h"

#include <windows.h>

namespace platform {
namespace {

const char kPolicyKey[] = "Software\\Policies\\Velmora\\Assistant";
constexpr DWORD kMaxPolicyText = 1024;

// Reads one value of the policy key, of the expected type. The key is opened
// in the 64-bit view, where the system's Group Policy writes, also by the
// 32-bit program on 64-bit Windows (32-bit Windows ignores the flag).
bool QueryPolicyValue(const std::string& name, DWORD expectedType, void* data, DWORD& size) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kPolicyKey, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, &key) !=
      ERROR_SUCCESS)
    return false;
  DWORD type = 0;
  LONG result = RegQueryValueExA(key, name.c_str(), nullptr, &type, static_cast<BYTE*>(data), &size);
  RegCloseKey(key);
  return result == ERROR_SUCCESS && type == expectedType;
}

class RegistryPolicyStore final : public IPolicyStore {
 public:
  bool ReadString(const std::string& name, std::string& value) override {
    char buffer[kMaxPolicyText];
    DWORD size = sizeof buffer - 1;
    if (!QueryPolicyValue(name, REG_SZ, buffer, size)) return false;
    buffer[size] = '\0';  // a stored text need not end in one
    value = buffer;
    return true;
  }
  bool ReadDword(const std::string& name, uint32_t& value) override {
    DWORD number = 0, size = sizeof number;
    if (!QueryPolicyValue(name, REG_DWORD, &number, size) || size != sizeof number) return false;
    value = number;
    return true;
  }
};

}  // namespace

IPolicyStore& MachinePolicyStore() {
  static RegistryPolicyStore store;
  return store;
}

}  // namespace platform
