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

// Only 0x40-0x7E and 0x80-0xFE follow a lead byte; other bytes after it are
// characters of their own.
TEST(MbcsText, LeadByteBeforeAnInvalidTrailStandsAlone) {
  const struct { std::string in, replaced; } cases[] = {
      {"a\x81/b", "a\x81_b"},
      {"a\x81:b", "a\x81_b"},
      {"a\x81\x3F/", "a\x81?_"},
      {"a\x81\x7F/", "a\x81\x7F_"},
      {"a\xFE\xFF/", "a\xFE\xFF_"},
      {"a\x81\x40/", "a\x81\x40_"},
      {"a\x81/", "a\x81_"},
      {"/\x81", "_\x81"},
  };
  for (const auto& c : cases) {
    std::string out = MbcsReplaceChar(MbcsReplaceChar(c.in, '/', '_'), ':', '_');
    EXPECT_EQ(out, c.replaced) << c.in;
  }
  EXPECT_TRUE(IsGbkPairAt("\x81\x40", 0));
  EXPECT_TRUE(IsGbkPairAt("\xFE\xFE", 0));
  EXPECT_FALSE(IsGbkPairAt("\x81\x3F", 0));
  EXPECT_FALSE(IsGbkPairAt("\x81", 0));
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
