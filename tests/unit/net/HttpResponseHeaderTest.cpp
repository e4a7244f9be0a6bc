#include "net/HttpResponseHeader.h"

#include <gtest/gtest.h>

namespace {

CHttpResponseHeader Parsed(const std::string& headerLines) {
  CHttpResponseHeader header;
  EXPECT_TRUE(header.Parse(("HTTP/1.1 200 OK\r\n" + headerLines).c_str()));
  return header;
}

TEST(HttpResponseHeader, StatusLineNeedsTwoSpaces) {
  struct Case { const char* line; bool ok; int status; } cases[] = {
      {"HTTP/1.1 206 Partial Content", true, 206},
      {"HTTP/1.1  404  Not Found", true, 0},   // empty code between the first two spaces
      {"HTTP/1.1 200 ", true, 200},
      {"HTTP/1.1 200", false, 0},
      {"garbage", false, 0},
      {"", false, 0},
  };
  for (const Case& c : cases) {
    CHttpResponseHeader header;
    EXPECT_EQ(header.Parse(c.line), c.ok) << c.line;
    EXPECT_EQ(header.m_nStatus, c.status) << c.line;
  }
}

TEST(HttpResponseHeader, StatusLineAloneGivesEmptyLists) {
  CHttpResponseHeader header;
  ASSERT_TRUE(header.Parse("HTTP/1.1 302 Found"));
  EXPECT_EQ(header.m_strStatus, "302");
  EXPECT_EQ(header.GetHeaderCount(), 0);
  EXPECT_EQ(header.GetCookieCount(), 0);
  EXPECT_EQ(header.m_nContentLength, -1);
}

TEST(HttpResponseHeader, ContentTypeAndDispositionParameters) {
  CHttpResponseHeader header = Parsed(
      "Content-Type: text/html; charset=\"GBK\"\r\n"
      "Content-Disposition: attachment; filename=\"my file.pdf\"; name = \"part\"; size=3");
  EXPECT_EQ(header.m_strContentType, "text/html");
  EXPECT_EQ(header.m_strCharset, "GBK");
  EXPECT_EQ(header.m_strDisposition, "attachment");
  EXPECT_EQ(header.m_strFileName, "my file.pdf");
  EXPECT_EQ(header.m_strName, "part");
}

TEST(HttpResponseHeader, NumbersAndRanges) {
  struct Case { const char* lines; int64_t length, rangeStart, rangeEnd; } cases[] = {
      {"content-length: 1234", 1234, 0, 0},
      {"Content-Length:  +77abc", 77, 0, 0},
      {"Content-Length: none", 0, 0, 0},
      {"Content-Length: 99999999999999999999999", INT64_MAX, 0, 0},
      {"Range: bytes=100-", -1, 100, 0},
      {"Range: bytes=100-199", -1, 100, 199},
      {"Range: bytes=-500", -1, 0, 0},
      {"Range: =100-200", -1, 0, 0},
  };
  for (const Case& c : cases) {
    CHttpResponseHeader header = Parsed(c.lines);
    EXPECT_EQ(header.m_nContentLength, c.length) << c.lines;
    EXPECT_EQ(header.m_nRangeStart, c.rangeStart) << c.lines;
    EXPECT_EQ(header.m_nRangeEnd, c.rangeEnd) << c.lines;
  }
}

TEST(HttpResponseHeader, AcceptRangesIgnoresCase) {
  EXPECT_TRUE(Parsed("Accept-Ranges: Bytes").AcceptsByteRanges());
  EXPECT_FALSE(Parsed("Accept-Ranges: none").AcceptsByteRanges());
  EXPECT_FALSE(Parsed("").AcceptsByteRanges());
}

TEST(HttpResponseHeader, SplittingRules) {
  // Only CR LF splits; a line without a colon is skipped; an empty line ends
  // the block; a repeated header overwrites the field, the list keeps both.
  CHttpResponseHeader header = Parsed(
      "X-A: 1\nX-B: 2\r\nno colon here\r\n  Content-Length : 5 \r\nContent-Length: 6\r\n"
      "\r\nX-After: 3");
  ASSERT_EQ(header.GetHeaderCount(), 3);
  EXPECT_EQ(header.m_arrHeaderNames[0], "X-A");
  EXPECT_EQ(header.m_arrHeaderValues[0], "1\nX-B: 2");
  EXPECT_EQ(header.m_arrHeaderNames[1], "Content-Length");
  EXPECT_EQ(header.m_arrHeaderValues[1], "5");
  EXPECT_EQ(header.m_nContentLength, 6);
  EXPECT_EQ(header.FindHeader("x-after"), "");
}

TEST(HttpResponseHeader, CookieParts) {
  CHttpResponseHeader header = Parsed("Cookie: sid = abc; ; flag ;k=v=w");
  ASSERT_EQ(header.GetCookieCount(), 3);
  EXPECT_EQ(header.m_arrCookieNames[0], "sid");
  EXPECT_EQ(header.m_arrCookieValues[0], "abc");
  EXPECT_EQ(header.m_arrCookieNames[1], "");
  EXPECT_EQ(header.m_arrCookieValues[1], "flag");
  EXPECT_EQ(header.m_arrCookieValues[2], "v=w");
}

}  // namespace
