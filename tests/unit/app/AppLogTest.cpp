#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <regex>

#include "app/AppLog.h"
#include "unit/app/ScopedAppData.h"

namespace {

std::string ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

TEST(AppLogTest, PathIsInTheAppDataDirectory) {
  ScopedAppData appData("log");
  EXPECT_EQ(appData.Path() + "\\VelmoraURL.log", GetLogPath());
}

TEST(AppLogTest, TimeFormat) {
  EXPECT_TRUE(std::regex_match(FormatNow(), std::regex(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d)")))
      << FormatNow();
}

TEST(AppLogTest, EntriesAreAppendedAsGiven) {
  ScopedAppData appData("log");
  WriteLog(GetLogPath(), "[%s]:%s\r\n", "2026-01-02 03:04:05", "velmoraurl://res:fid=1");
  WriteLog(GetLogPath(), "CDN Server : %s\r\n", "10.0.0.1:80");
  EXPECT_EQ("[2026-01-02 03:04:05]:velmoraurl://res:fid=1\r\nCDN Server : 10.0.0.1:80\r\n",
            ReadAll(appData.Native("VelmoraURL.log")));
}

TEST(AppLogTest, LongEntryIsCutNotLost) {
  ScopedAppData appData("log");
  const std::string url(5000, 'u');
  WriteLog(GetLogPath(), "[%s]:%s\r\n", "t", url.c_str());
  WriteLog(GetLogPath(), "%s", "next");
  std::string text = ReadAll(appData.Native("VelmoraURL.log"));
  ASSERT_EQ(LOG_ENTRY_MAX + 4, text.size());
  EXPECT_EQ("[t]:" + std::string(LOG_ENTRY_MAX - 4, 'u') + "next", text);
}

// A cut never leaves half of a double-byte character behind.
TEST(AppLogTest, CutKeepsCharactersWhole) {
  const std::string wide = "中文";  // two double-byte characters
  struct Case {
    std::string text;
    size_t limit;
    std::string expected;
  } cases[] = {
      {"abc", 5, "abc"},   {"abcdef", 3, "abc"},       {wide, 4, wide},
      {wide, 3, "中"},     {"a" + wide, 4, "a中"},      {"a" + wide, 2, "a"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.expected, CutToCharacters(c.text, c.limit));

  ScopedAppData appData("log");
  std::string text;
  while (text.size() < 5000) text += wide;
  WriteLog(GetLogPath(), "%s", text.c_str());
  EXPECT_EQ(text.substr(0, LOG_ENTRY_MAX - 1), ReadAll(appData.Native("VelmoraURL.log")));
}

TEST(AppLogTest, NoPathOrUnwritableFileIsSkipped) {
  ScopedAppData appData("log");
  WriteLog("", "%s", "lost");
  WriteLog(appData.Path() + "\\missing dir\\VelmoraURL.log", "%s", "lost");
  EXPECT_FALSE(std::filesystem::exists(appData.Native("missing dir")));
}
