#pragma once
#include <map>
#include <string>
#include <tuple>

#include "platform/Registry.h"

// A registry held in memory: what the portable build has instead of the
// Windows one, and what tests fill, inspect and make read-only. Key and value
// names are matched without regard to the case of ASCII letters, as Windows
// does.
namespace platform {

class CMemoryRegistry final : public IRegistry {
 public:
  bool m_bReadOnly = false;  // every write fails, as for a user without the right
  int m_nWrites = 0;         // writes that succeeded

  bool QueryString(RegRoot root, const std::string& key, const std::string& name,
                   size_t capacity, std::string& value) override {
    auto it = m_values.find(Address(root, key, name));
    if (it == m_values.end() || it->second.size() + 1 > capacity) return false;
    value = it->second;
    return true;
  }

  bool SetString(RegRoot root, const std::string& key, const std::string& name,
                 const std::string& text) override {
    if (m_bReadOnly) return false;
    m_values[Address(root, key, name)] = text;
    ++m_nWrites;
    return true;
  }

  bool SetDword(RegRoot root, const std::string& key, const std::string& name,
                uint32_t number) override {
    if (m_bReadOnly) return false;
    m_numbers[Address(root, key, name)] = number;
    ++m_nWrites;
    return true;
  }
  // The DWORD value; false when none was set.
  bool GetDword(RegRoot root, const std::string& key, const std::string& name,
                uint32_t& number) const {
    auto it = m_numbers.find(Address(root, key, name));
    if (it == m_numbers.end()) return false;
    number = it->second;
    return true;
  }

  // Fills a value without counting it as a write of the program.
  void Put(RegRoot root, const std::string& key, const std::string& name,
           const std::string& text) {
    m_values[Address(root, key, name)] = text;
  }
  bool Has(RegRoot root, const std::string& key, const std::string& name) const {
    return m_values.count(Address(root, key, name)) != 0;
  }
  std::string Get(RegRoot root, const std::string& key, const std::string& name) const {
    auto it = m_values.find(Address(root, key, name));
    return it == m_values.end() ? std::string() : it->second;
  }

 private:
  using Key = std::tuple<int, std::string, std::string>;

  // ASCII letters fold; both bytes of a double-byte character stay as they are.
  static std::string Fold(const std::string& text) {
    std::string out = text;
    for (size_t i = 0; i < out.size(); ++i) {
      unsigned char c = (unsigned char)out[i];
      if (c >= 0x81 && c <= 0xFE && i + 1 < out.size()) ++i;
      else if (c >= 'A' && c <= 'Z') out[i] = (char)(c - 'A' + 'a');
    }
    return out;
  }
  static Key Address(RegRoot root, const std::string& key, const std::string& name) {
    return Key((int)root, Fold(key), Fold(name));
  }

  std::map<Key, std::string> m_values;
  std::map<Key, uint32_t> m_numbers;
};

}  // namespace platform
