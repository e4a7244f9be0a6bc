#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <regex>
#include <set>

#include "app/MachinePolicy.h"

namespace {

struct PolicyCase {
  const char* name;
  std::map<std::string, std::string> strings;
  std::map<std::string, uint32_t> numbers;
  MachinePolicy expected;
  size_t rejected;
};

TEST(MachinePolicyTest, ValuesAreTakenOnlyWhenUsable) {
  MachinePolicy none;
  const PolicyCase cases[] = {
      {"nothing set", {}, {}, none, 0},
      {"servers",
       {{"Server", "platform.school.cn:9112"}, {"CdnServer", "10.1.0.8:8000"}},
       {},
       {"platform.school.cn:9112", "10.1.0.8:8000", true, true, ""},
       0},
      {"host without port", {{"Server", "platform.school.cn"}}, {}, {"platform.school.cn", "", true, true, ""}, 0},
      {"https server, scheme in lower case",
       {{"Server", "HTTPS://platform.school.cn:8443"}}, {}, {"https://platform.school.cn:8443", "", true, true, ""}, 0},
      {"https without a host", {{"Server", "https://"}}, {}, none, 1},
      {"the cache server stays http", {{"CdnServer", "https://10.1.0.8"}}, {}, none, 1},
      {"no other scheme", {{"Server", "http://platform.school.cn"}}, {}, none, 1},
      {"switches off", {}, {{"CdnAnnouncements", 0}, {"UpdateCheck", 0}}, {"", "", false, false, ""}, 0},
      {"switches on stay on", {}, {{"CdnAnnouncements", 1}, {"UpdateCheck", 7}, {"RequireSignedTools", 2}}, none, 0},
      {"unsigned tools allowed", {}, {{"RequireSignedTools", 0}}, {"", "", true, true, "", false}, 0},
      {"a quote or blank in a server", {{"Server", "a\" -x"}, {"CdnServer", "1.2.3.4 :80"}}, {}, none, 2},
      {"a port out of range", {{"CdnServer", "cache:70000"}}, {}, none, 1},
      {"empty texts are not set", {{"Server", ""}, {"ResourceDir", ""}}, {}, none, 0},
      {"drive directory, trailing backslash dropped",
       {{"ResourceDir", "D:\\Velmora\\"}}, {}, {"", "", true, true, "D:\\Velmora"}, 0},
      {"drive root kept whole", {{"ResourceDir", "D:\\"}}, {}, {"", "", true, true, "D:\\"}, 0},
      {"share directory", {{"ResourceDir", "\\\\srv\\share\\v"}}, {}, {"", "", true, true, "\\\\srv\\share\\v"}, 0},
      {"relative directory", {{"ResourceDir", "Velmora\\files"}}, {}, none, 1},
      {"drive-relative directory", {{"ResourceDir", "D:Velmora"}}, {}, none, 1},
  };
  for (const PolicyCase& c : cases) {
    platform::MemoryPolicyStore store;
    store.m_strings = c.strings;
    store.m_numbers = c.numbers;
    std::vector<std::string> rejected;
    MachinePolicy policy = ReadMachinePolicy(store, rejected);
    EXPECT_EQ(c.expected.server, policy.server) << c.name;
    EXPECT_EQ(c.expected.cdnServer, policy.cdnServer) << c.name;
    EXPECT_EQ(c.expected.cdnAnnouncements, policy.cdnAnnouncements) << c.name;
    EXPECT_EQ(c.expected.updateCheck, policy.updateCheck) << c.name;
    EXPECT_EQ(c.expected.resourceDir, policy.resourceDir) << c.name;
    EXPECT_EQ(c.expected.requireSignedTools, policy.requireSignedTools) << c.name;
    EXPECT_EQ(c.rejected, rejected.size()) << c.name;
  }
}

// A value that IT set with another type or beyond the length read (a DWORD
// for a text, a text for a switch) is logged, and the setting stays as if unset.
TEST(MachinePolicyTest, ValuesOfAnotherTypeAreLoggedAndIgnored) {
  for (const std::string& name : MachinePolicyValueNames()) {
    platform::MemoryPolicyStore store;
    store.m_unusable = {name};
    std::vector<std::string> rejected;
    MachinePolicy policy = ReadMachinePolicy(store, rejected);
    ASSERT_EQ(rejected.size(), 1u) << name;
    EXPECT_EQ(rejected[0].rfind(name + " (", 0), 0u) << rejected[0];
    EXPECT_EQ(policy.server + policy.cdnServer + policy.resourceDir, "") << name;
    EXPECT_TRUE(policy.cdnAnnouncements && policy.updateCheck && policy.requireSignedTools) << name;
  }
}

std::string ReadSource(const std::string& relative) {
  std::ifstream in(std::string(VELMORA_SOURCE_DIR) + "/" + relative, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::set<std::string> Matches(const std::string& text, const std::string& pattern) {
  std::set<std::string> found;
  std::regex re(pattern);
  for (auto it = std::sregex_iterator(text.begin(), text.end(), re); it != std::sregex_iterator(); ++it)
    found.insert((*it)[1]);
  return found;
}

// IT sets the policy through the Group Policy templates or the package's
// properties: each of them names exactly the values that the program reads.
TEST(MachinePolicyTest, TemplatesAndPackageWriteWhatTheProgramReads) {
  const std::set<std::string> read(MachinePolicyValueNames().begin(), MachinePolicyValueNames().end());
  const std::string admx = ReadSource("installer/policy/velmora.admx");
  ASSERT_FALSE(admx.empty());
  EXPECT_EQ(read, Matches(admx, "valueName=\"(\\w+)\""));
  EXPECT_EQ(std::set<std::string>{"Software\\Policies\\Velmora\\Assistant"},
            Matches(admx, "key=\"([^\"]+)\""));

  const std::string package = ReadSource("installer/VelmoraURL.wxs");
  std::set<std::string> written;
  std::regex value("Key=\"Software\\\\Policies\\\\Velmora\\\\Assistant\" Name=\"(\\w+)\"");
  for (auto it = std::sregex_iterator(package.begin(), package.end(), value);
       it != std::sregex_iterator(); ++it)
    written.insert((*it)[1]);
  EXPECT_EQ(read, written);

  // The Linux package writes them from /etc/velmora/policy.conf, whose sample
  // tells IT of each.
  const std::string launcher = ReadSource("installer/linux/prefix.sh");
  const std::string sample = ReadSource("installer/linux/policy.conf");
  ASSERT_FALSE(launcher.empty() || sample.empty());
  for (const std::string& name : read) {
    EXPECT_NE(launcher.find("'\"" + name + "\"="), std::string::npos) << name;
    EXPECT_NE(sample.find(name), std::string::npos) << name;
  }

  // Every text and presentation the templates name is there in both languages.
  const std::set<std::string> strings = Matches(admx, "\\$\\(string\\.(\\w+)\\)");
  const std::set<std::string> presentations = Matches(admx, "\\$\\(presentation\\.(\\w+)\\)");
  for (const char* language : {"zh-CN", "en-US"}) {
    const std::string adml = ReadSource(std::string("installer/policy/") + language + "/velmora.adml");
    ASSERT_FALSE(adml.empty()) << language;
    EXPECT_EQ(strings, Matches(adml, "<string id=\"(\\w+)\">")) << language;
    EXPECT_EQ(presentations, Matches(adml, "<presentation id=\"(\\w+)\">")) << language;
    for (const std::string& name : read) {
      EXPECT_TRUE(strings.count(name)) << name;
      EXPECT_TRUE(strings.count(name + "_Help")) << name;
    }
  }
}

}  // namespace
