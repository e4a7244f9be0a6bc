#pragma once
#include <cstdint>
#include <map>
#include <string>

// Machine policy that a school's IT sets (Group Policy, or the properties of
// the installer package): named values under one machine key that the
// program only reads.
namespace platform {

class IPolicyStore {
 public:
  virtual ~IPolicyStore() = default;
  // False when the value is missing or of another type.
  virtual bool ReadString(const std::string& name, std::string& value) = 0;
  virtual bool ReadDword(const std::string& name, uint32_t& value) = 0;
};

// Values held in memory: where the system keeps no policy, and in tests.
class MemoryPolicyStore final : public IPolicyStore {
 public:
  bool ReadString(const std::string& name, std::string& value) override {
    auto it = m_strings.find(name);
    if (it == m_strings.end()) return false;
    value = it->second;
    return true;
  }
  bool ReadDword(const std::string& name, uint32_t& value) override {
    auto it = m_numbers.find(name);
    if (it == m_numbers.end()) return false;
    value = it->second;
    return true;
  }
  std::map<std::string, std::string> m_strings;
  std::map<std::string, uint32_t> m_numbers;
};

// The machine's policy for the assistant: on Windows the values of
// HKEY_LOCAL_MACHINE\Software\Policies\Velmora\Assistant; elsewhere none.
IPolicyStore& MachinePolicyStore();

}  // namespace platform
