#include <gtest/gtest.h>

#include <climits>

#include "net/MbcsText.h"

namespace {

// 表 in GBK is B1 ED; 滕 is EB 5C: its trail byte is a backslash.
const std::string kBackslashTrail = "\xeb\x5c";
// A double-byte character whose trail byte is an upper-case ASCII letter.
const std::string kLetterTrail = "\x81\x41";

TEST(MbcsText, LowerCaseLeavesTrailBytesAlone) {
  EXPECT_EQ(MbcsToLower("ABC" + kLetterTrail + "D"), "abc" + kLetterTrail + "d");
}

TEST(MbcsText, ReplaceLeavesTrailBytesAlone) {
  EXPECT_EQ(MbcsReplaceChar("C:\\" + kBackslashTrail + "\\x", '\\', '/'),
            "C:/" + kBackslashTrail + "/x");
}

TEST(MbcsText, EqualNoCase) {
  EXPECT_TRUE(MbcsEqualNoCase("WWW.Example.CN", "www.example.cn"));
  EXPECT_FALSE(MbcsEqualNoCase(kLetterTrail, "\x81\x61"));
}

TEST(MbcsText, Trim) {
  EXPECT_EQ(TrimSpaces(" \t a b \r\n"), "a b");
  EXPECT_EQ(TrimSpaces("   "), "");
}

TEST(MbcsText, AtoiRules) {
  const struct { const char* in; int out; } cases[] = {
      {"42", 42}, {"  -7x", -7}, {"+3", 3}, {"", 0}, {"abc", 0}, {"12ab3", 12},
      {"99999999999", INT_MAX}, {"-99999999999", INT_MIN}, {"- 1", 0},
  };
  for (const auto& c : cases) EXPECT_EQ(AtoiLike(c.in), c.out) << c.in;
}

}  // namespace
