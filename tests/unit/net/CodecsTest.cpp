#include <gtest/gtest.h>

#include "net/Codecs.h"

namespace {

std::string Md5Of(const std::string& text) { return Md5Hex(text); }

TEST(Md5, Rfc1321Vectors) {
  const struct { const char* in; const char* digest; } cases[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"a", "0cc175b9c0f1b6a831c399e269772661"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
       "d174ab98d277d9f5a5611c2c9f419d9f"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"},
  };
  for (const auto& c : cases) EXPECT_EQ(Md5Of(c.in), c.digest) << c.in;
}

// The padding boundaries: 55 bytes fit one block, 56 and 64 need a second.
TEST(Md5, PaddingBoundaries) {
  EXPECT_EQ(Md5Of(std::string(55, 'a')), "ef1772b6dff9a122358552954ad0df65");
  EXPECT_EQ(Md5Of(std::string(56, 'a')), "3b0c8ac703f828b04c6c197006d17218");
  EXPECT_EQ(Md5Of(std::string(64, 'a')), "014842d480b571495a4a0363793f7367");
}

TEST(Md5, PiecewiseUpdatesAndReuseAfterFinal) {
  CMd5 md5;
  std::string text(200, 'x');
  for (size_t i = 0; i < text.size(); i += 7) md5.Update(text.data() + i, std::min<size_t>(7, text.size() - i));
  unsigned char first[16], second[16];
  md5.Final(first);
  md5.Update(text.data(), text.size());
  md5.Final(second);
  EXPECT_EQ(HexString(first, 16, ""), Md5Of(text));
  EXPECT_EQ(HexString(second, 16, ""), Md5Of(text));
}

TEST(HexString, SeparatorOnlyBetweenBytes) {
  const unsigned char bytes[] = {0, 171, 15};
  EXPECT_EQ(HexString(bytes, 2, ""), "00ab");
  EXPECT_EQ(HexString(bytes, 3, "-"), "00-ab-0f");
  EXPECT_EQ(HexString(bytes, 0, "-"), "");
}

TEST(Base64, EncodeTable) {
  const struct { std::string in, out; } cases[] = {
      {"", ""}, {"f", "Zg=="}, {"fo", "Zm8="}, {"foo", "Zm9v"}, {"foob", "Zm9vYg=="},
      {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"}, {std::string("\xff\xfe\x00", 3), "//4A"},
      {std::string("\x03", 1), "Aw=="},  // the byte's two low bits lead the second character
  };
  for (const auto& c : cases) EXPECT_EQ(Base64Encode(c.in.data(), c.in.size()), c.out) << c.in;
}

TEST(Base64, DecodeTable) {
  const struct { std::string in, out; } cases[] = {
      {"", ""}, {"Zg==", "f"}, {"Zm8=", "fo"}, {"Zm9v", "foo"}, {"Zm9vYmFy", "foobar"},
      {"Zm9vYg", "foo"},     // a partial last group is ignored
      {"Zm9vY", "foo"},
      {"Zg", ""},
      {"\xda\xed\xb9\xf6", "foo"},  // top-bit forms of "Zm9v" map to the same values
  };
  for (const auto& c : cases) EXPECT_EQ(Base64Decode(c.in), c.out) << c.in;
}

TEST(Base64, InvalidCharactersEnterAsBitsNotFailure) {
  std::string out = Base64Decode("Z!9v");
  ASSERT_EQ(out.size(), 3u);
  // '!' has the value 254: its bits land in the first two bytes.
  EXPECT_EQ((unsigned char)out[0], (unsigned char)((25 << 2) | ((254 >> 4) & 3)));
  EXPECT_EQ((unsigned char)out[1], (unsigned char)((254 << 4) | ((61 >> 2) & 15)));
}

TEST(Scramble, RoundTripsAndShape) {
  for (std::string text : {"", "a", "abcd", "pass word 123", "密码测试"}) {
    std::string scrambled = ScrambleString(text);
    EXPECT_EQ(UnscrambleString(scrambled), text);
    EXPECT_EQ(scrambled.size(), (text.size() + 2) / 3 * 4);
  }
  std::string four = ScrambleString("abcd");
  EXPECT_EQ(four.size(), 8u);
  EXPECT_EQ(four.substr(6), "==");
  // Only the key's last character ('E') takes part: 'a' ^ 'E' = '$'.
  EXPECT_EQ(four, Base64Encode("$'&!", 4));
}

TEST(Scramble, UnscrambleStopsAtZeroByte) {
  std::string withZero("ab\0cd", 5);
  EXPECT_EQ(UnscrambleString(ScrambleString(withZero)), "ab");
}

TEST(PercentDecode, Table) {
  const struct { std::string in, out; } cases[] = {
      {"", ""},
      {"plain", "plain"},
      {"a%20b", "a b"},
      {"a%%b", "a%b"},
      {"%41%41x%41", "AAxA"},       // every occurrence at once
      {"%2541", "A"},               // a decoded '%' starts a further escape
      {"%e4%b8%ad", "\xe4\xb8\xad"},
      {"%zz", "%zz"},               // not hexadecimal: left as it stands
      {"%4", "%4"},                 // fewer than two characters left
      {"a%", "a%"},
      {"%%41", "%41"},              // "%%" yields '%' and the search goes on after it
      {"%%41%41%42", "AAB"},        // the escape found is counted once, after its shrunk twin
  };
  for (const auto& c : cases) EXPECT_EQ(PercentDecode(c.in), c.out) << c.in;
}

TEST(CodePage, ChineseRoundTripsBetweenGbkAndUtf8) {
  const std::string gbk = "\xd6\xd0\xce\xc4 abc";          // 中文 abc
  const std::string utf8 = "\xe4\xb8\xad\xe6\x96\x87 abc";
  EXPECT_EQ(AnsiToUtf8(gbk), utf8);
  EXPECT_EQ(Utf8ToAnsi(utf8), gbk);
  EXPECT_EQ(Utf8ToAnsi(AnsiToUtf8("课件.pptx")), "课件.pptx");
  EXPECT_EQ(AnsiToUtf8(""), "");
  EXPECT_EQ(Utf8ToAnsi(""), "");
}

TEST(CodePage, UnmappableCharactersBecomeTheDefaultCharacter) {
  // U+1F600 and U+00E9 have no GBK form.
  std::string out = Utf8ToAnsi("a\xf0\x9f\x98\x80" "b");
  EXPECT_EQ(out.front(), 'a');
  EXPECT_EQ(out.back(), 'b');
  EXPECT_NE(out.find('?'), std::string::npos);
  EXPECT_EQ(Utf8ToAnsi("x\xe0\xb8\x81"), "x?");  // a Thai letter
}

}  // namespace
