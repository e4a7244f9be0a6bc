#pragma once
#include <cstdint>
#include <map>
#include <set>
#include <string>

// Machine policy that a school's IT sets (Group Policy, or the properties of
// the installer package): named values under one machine key that the
// program only reads.
namespace platform {

// What a read found: a value that is set but of another type or length is
// told apart from none, so that it is logged instead of passing unseen.
enum class PolicyRead { Missing, Found, Unusable };

class IPolicyStore {
 public:
  virtual ~IPolicyStore() = default;
  virtual PolicyRead ReadString(const std::string& name, std::string& value) = 0;
  virtual PolicyRead ReadDword(const std::string& name, uint32_t& value) = 0;
};

// Values held in memory: where the system keeps no policy, and in tests.
class MemoryPolicyStore final : public IPolicyStore {
 public:
  PolicyRead ReadString(const std::string& name, std::string& value) override {
    return Read(m_strings, name, value);
  }
  PolicyRead ReadDword(const std::string& name, uint32_t& value) override {
    return Read(m_numbers, name, value);
  }
  std::map<std::string, std::string> m_strings;
  std::map<std::string, uint32_t> m_numbers;
  std::set<std::string> m_unusable;  // set, but of a type or length that cannot be read

 private:
  template <typename Value>
  PolicyRead Read(const std::map<std::string, Value>& values, const std::string& name, Value& value) {
    if (m_unusable.count(name)) return PolicyRead::Unusable;
    auto it = values.find(name);
    if (it == values.end()) return PolicyRead::Missing;
    value = it->second;
    return PolicyRead::Found;
  }
};

// The machine's policy for the assistant: on Windows the values of
// HKEY_LOCAL_MACHINE\Software\Policies\Velmora\Assistant; elsewhere none.
IPolicyStore& MachinePolicyStore();

}  // namespace platform
