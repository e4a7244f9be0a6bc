#include "platform/Policy.h"

#include <windows.h>

namespace platform {
namespace {

const char kPolicyKey[] = "Software\\Policies\\Velmora\\Assistant";
constexpr DWORD kMaxPolicyText = 1024;

// Reads one value of the policy key, of the expected type. The key is opened
// in the 64-bit view, where the system's Group Policy writes, also by the
// 32-bit program on 64-bit Windows (32-bit Windows ignores the flag). A value
// that is there but too long or of another type is unusable, not missing.
PolicyRead QueryPolicyValue(const std::string& name, DWORD expectedType, void* data, DWORD& size) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kPolicyKey, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, &key) !=
      ERROR_SUCCESS)
    return PolicyRead::Missing;
  DWORD type = 0;
  LONG result = RegQueryValueExA(key, name.c_str(), nullptr, &type, static_cast<BYTE*>(data), &size);
  RegCloseKey(key);
  if (result == ERROR_FILE_NOT_FOUND) return PolicyRead::Missing;
  return result == ERROR_SUCCESS && type == expectedType ? PolicyRead::Found : PolicyRead::Unusable;
}

class RegistryPolicyStore final : public IPolicyStore {
 public:
  PolicyRead ReadString(const std::string& name, std::string& value) override {
    char buffer[kMaxPolicyText];
    DWORD size = sizeof buffer - 1;
    PolicyRead read = QueryPolicyValue(name, REG_SZ, buffer, size);
    if (read != PolicyRead::Found) return read;
    buffer[size] = '\0';  // a stored text need not end in one
    value = buffer;
    return PolicyRead::Found;
  }
  PolicyRead ReadDword(const std::string& name, uint32_t& value) override {
    DWORD number = 0, size = sizeof number;
    PolicyRead read = QueryPolicyValue(name, REG_DWORD, &number, size);
    if (read != PolicyRead::Found) return read;
    if (size != sizeof number) return PolicyRead::Unusable;
    value = number;
    return PolicyRead::Found;
  }
};

}  // namespace

IPolicyStore& MachinePolicyStore() {
  static RegistryPolicyStore store;
  return store;
}

}  // namespace platform
