#include <gtest/gtest.h>

#include "store/SegmentedDownloader.h"

namespace {

std::string Describe(const std::vector<SegmentRange>& ranges) {
  std::string text;
  for (const SegmentRange& r : ranges)
    text += std::to_string(r.start) + "-" + std::to_string(r.end) + " ";
  return text;
}

}  // namespace

TEST(SegmentedDownloaderRules, SplitTable) {
  const struct { int64_t size; int parts; const char* ranges; } cases[] = {
      {1000, 10, "0-99 100-199 200-299 300-399 400-499 500-599 600-699 700-799 800-899 900-999 "},
      {1005, 10,
       "0-99 100-199 200-299 300-399 400-499 500-599 600-699 700-799 800-899 900-999 1000-1004 "},
      // Below one byte per part: ten empty ranges and one that holds the file.
      {3, 10, "0--1 0--1 0--1 0--1 0--1 0--1 0--1 0--1 0--1 0--1 0-2 "},
      {7, 1, "0-6 "},
  };
  for (const auto& c : cases) EXPECT_EQ(Describe(SplitRanges(c.size, c.parts)), c.ranges) << c.size;
}

TEST(SegmentedDownloaderRules, PartsAreCappedAndNeedRanges) {
  EXPECT_EQ(EffectiveParts(25, true), 10);
  EXPECT_EQ(EffectiveParts(10, true), 10);
  EXPECT_EQ(EffectiveParts(4, true), 4);
  EXPECT_EQ(EffectiveParts(10, false), 1);
  // No parts at all would divide by zero.
  EXPECT_EQ(EffectiveParts(0, true), 1);
  EXPECT_EQ(EffectiveParts(-3, true), 1);
}

TEST(SegmentedDownloaderRules, DecimalTextWrapsModulo64Bits) {
  const struct { const char* text; int64_t value; } cases[] = {
      {"0", 0},
      {"1004", 1004},
      {"18446744073709551615", -1},  // how -1 is written
      {"  \t42", 42},
      {"+7", 7},
      {"-5", -5},
      {"12abc", 12},
      {"abc", 0},
      {"", 0},
      {"18446744073709551616", 0},  // 2^64 wraps to 0
      {"9223372036854775808", INT64_MIN},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseDecimal64(c.text), c.value) << c.text;
  for (int64_t value : {int64_t{0}, int64_t{-1}, int64_t{1} << 40, INT64_MIN, INT64_MAX})
    EXPECT_EQ(ParseDecimal64(FormatDecimal64(value)), value);
  EXPECT_EQ(FormatDecimal64(-1), "18446744073709551615");
}

TEST(SegmentedDownloaderRules, ResumeRecordsAreBelievedOnlyWhenSane) {
  using R = std::vector<SegmentRange>;
  const struct { const char* what; R ranges; bool resumable; } cases[] = {
      {"fresh split", SplitRanges(1000, 10), true},
      {"partly done", {{0, 499, 499}, {500, 999, 0}}, true},
      {"nothing", {}, false},
      {"negative start", {{-100, 499, 0}, {500, 999, 0}}, false},
      {"end past the file", {{0, 499, 0}, {500, 1000, 0}}, false},
      {"huge end", {{0, INT64_MAX, 0}}, false},
      {"negative done", {{0, 499, -1}, {500, 999, 0}}, false},
      {"done past the range", {{0, 499, 501}, {500, 999, 0}}, false},
      {"overlap", {{0, 599, 0}, {500, 999, 0}}, false},
      {"gap", {{0, 399, 0}, {500, 999, 0}}, false},
      {"twice the same", {{0, 999, 0}, {0, 999, 0}}, false},
      {"reversed", {{10, 5, 0}, {0, 999, 0}}, false},
      {"too many", R(12, SegmentRange{0, -1, 0}), false},
  };
  for (const auto& c : cases) EXPECT_EQ(ResumableRanges(c.ranges, 1000), c.resumable) << c.what;
  EXPECT_TRUE(ResumableRanges(SplitRanges(3, 10), 3));
  EXPECT_FALSE(ResumableRanges(SplitRanges(1000, 10), 1005));
}

TEST(SegmentedDownloaderRules, FileNames) {
  const struct { const char* url; const char* host; const char* disposition; const char* name; }
      cases[] = {
          {"http://h:7112/VelmoraTool/tool.exe?v=3", "h", "", "tool.exe"},
          {"http://h:7112/VelmoraTool/tool.exe", "h", "", "tool.exe"},
          {"http://h:7112/", "h", "", "h"},
          {"http://h:7112/a/b:c.exe", "h", "", "b_c.exe"},
          {"h:7112", "", "", "h_7112"},
          {"http://h/x", "h", "setup 1.exe", "setup 1.exe"},
          // The server's name never leaves the directory.
          {"http://h/x", "h", "..\\..\\Windows\\x.dll", "x.dll"},
          {"http://h/x", "h", "/etc/passwd", "passwd"},
          {"http://h/x", "h", "C:\\evil.exe", "evil.exe"},
          {"http://h/x", "h", "C:evil.exe", "C_evil.exe"},
          {"http://h/x", "h", "dir/", "x"},
          {"http://h/x", "h", "..", "x"},
          {"http://h/x", "h", "a\\.", "x"},
          {"http://h/a\\..\\..\\evil.exe", "h", "", "evil.exe"},
          {"http://h/..", "h", "", "h"},
          // A trail byte 0x5C inside a double-byte character is no separator.
          {"http://h/x", "h", "淺水.exe", "淺水.exe"},
          {"http://h/x", "h", "dir\\淺", "淺"},
          // A lead byte before a byte that cannot follow it stands alone.
          {"http://h/x", "h", "sub\xFE/evil.exe", "evil.exe"},
          {"http://h/x", "h", "x\x81:y", "x\x81_y"},
          {"http://h/x", "h", "d\x81\x7F/n", "n"},
      };
  for (const auto& c : cases)
    EXPECT_EQ(DownloadFileName(c.url, c.host, c.disposition), c.name) << c.url << " " << c.disposition;
  EXPECT_EQ(FileNameOfPath("C:\\a\\淺水.exe"), "淺水.exe");
  EXPECT_EQ(FileNameOfPath("tool.exe"), "tool.exe");
}
