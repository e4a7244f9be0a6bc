// The machine policy as the registry holds it: a value of another type or
// beyond the length read is told apart from a value that is not set.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "platform/Policy.h"

namespace {

const char kKey[] = "Software\\Policies\\Velmora\\Assistant";

// Values of names the program never reads, removed again at the end, with
// the key when the test made it.
class PolicyKey {
 public:
  PolicyKey() {
    DWORD disposition = 0;
    RegCreateKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY,
                    nullptr, &m_key, &disposition);
    m_bCreated = disposition == REG_CREATED_NEW_KEY;
  }
  ~PolicyKey() {
    for (const std::string& name : m_names) RegDeleteValueA(m_key, name.c_str());
    RegCloseKey(m_key);
    if (m_bCreated) RegDeleteKeyExA(HKEY_LOCAL_MACHINE, kKey, KEY_WOW64_64KEY, 0);
  }
  void Set(const std::string& name, DWORD type, const void* data, DWORD size) {
    m_names.push_back(name);
    ASSERT_EQ(RegSetValueExA(m_key, name.c_str(), 0, type, static_cast<const BYTE*>(data), size),
              ERROR_SUCCESS);
  }
  HKEY m_key = nullptr;

 private:
  bool m_bCreated = false;
  std::vector<std::string> m_names;
};

TEST(PolicyStore, ValuesOfAnotherTypeOrLengthAreUnusable) {
  PolicyKey key;
  ASSERT_NE(key.m_key, nullptr);
  const DWORD zero = 0;
  const std::string text = "D:\\Velmora";
  const std::string tooLong(1500, 'x');
  key.Set("VelmoraTestText", REG_SZ, text.c_str(), (DWORD)text.size() + 1);
  key.Set("VelmoraTestLongText", REG_SZ, tooLong.c_str(), (DWORD)tooLong.size() + 1);
  key.Set("VelmoraTestDwordAsText", REG_DWORD, &zero, sizeof zero);
  key.Set("VelmoraTestExpandText", REG_EXPAND_SZ, text.c_str(), (DWORD)text.size() + 1);
  key.Set("VelmoraTestTextAsNumber", REG_SZ, "0", 2);
  key.Set("VelmoraTestShortNumber", REG_DWORD, &zero, 2);

  platform::IPolicyStore& store = platform::MachinePolicyStore();
  const struct {
    const char* name;
    platform::PolicyRead text;
    platform::PolicyRead number;
  } cases[] = {
      {"VelmoraTestText", platform::PolicyRead::Found, platform::PolicyRead::Unusable},
      {"VelmoraTestLongText", platform::PolicyRead::Unusable, platform::PolicyRead::Unusable},
      {"VelmoraTestDwordAsText", platform::PolicyRead::Unusable, platform::PolicyRead::Found},
      {"VelmoraTestExpandText", platform::PolicyRead::Unusable, platform::PolicyRead::Unusable},
      {"VelmoraTestTextAsNumber", platform::PolicyRead::Found, platform::PolicyRead::Unusable},
      {"VelmoraTestShortNumber", platform::PolicyRead::Unusable, platform::PolicyRead::Unusable},
      {"VelmoraTestNotSet", platform::PolicyRead::Missing, platform::PolicyRead::Missing},
  };
  for (const auto& c : cases) {
    std::string value;
    uint32_t number = 7;
    EXPECT_EQ(store.ReadString(c.name, value), c.text) << c.name;
    EXPECT_EQ(store.ReadDword(c.name, number), c.number) << c.name;
  }
  std::string value;
  ASSERT_EQ(store.ReadString("VelmoraTestText", value), platform::PolicyRead::Found);
  EXPECT_EQ(value, text);
}

}  // namespace
