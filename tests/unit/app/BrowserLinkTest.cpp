#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <sstream>

#include "app/BrowserLink.h"
#include "app/UrlCommand.h"
#include "net/Codecs.h"

namespace {

struct Parsed {
  int kind;
  CUrlCommand command;
};

// As the assistant reads the link it was started with.
Parsed Parse(const std::string& url) {
  Parsed p;
  p.kind = ParseUrl(NormaliseUrl(CanonicalLink(url)), p.command);
  return p;
}

std::string Record(const Parsed& p) {
  const CUrlCommand& c = p.command;
  std::ostringstream out;
  out << p.kind << '|' << c.m_strServer << '|' << c.m_nPort << '|' << c.m_strFid << '|'
      << c.m_strFext << '|' << c.m_strFname << '|' << c.m_strLogoId << '|' << c.m_nFtype << '|'
      << c.m_strSchoolId << '|' << c.m_strPwd << '|' << c.m_strHashCode << '|' << c.m_nFsize
      << '|' << c.m_strUserName << '|' << c.m_nUserId << '|' << c.m_nScore << '|' << c.m_nIsExam
      << '|' << c.m_strExtraData << '|' << c.m_nCouId << '|' << c.m_nExperId << '|' << c.m_nScouId
      << '|' << c.m_nType << '|' << c.m_strPath << '|' << c.m_strArgs;
  return out.str();
}

// What a browser makes of the text a page wrote in the link (as measured:
// these characters and every non-ASCII byte, as UTF-8, are percent-encoded;
// the apostrophe only in a query, and not by every browser).
std::string AsBrowserPasses(const std::string& text) {
  static const char hex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : text) {
    if (c >= 0x80 || std::strchr(" \"'<>\\^`{|}", c) != nullptr) {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

// The page's text of each command (literals are in the code page): the
// program's own form carried it so, a browser passes it on as UTF-8.
const struct {
  const char* command;
  const char* text;
} kCommands[] = {
    {"res", "fid=7001&fext=pdf&fname=课件 1.pptx&userName=张三&extradata=a b|{}^<>`~\"q\"\\"
            "&hashcode='v1'&server=10.0.0.5:7112&ftype=1&score=100&couId=3&experId=4&userid=42"},
    {"RES", "FID=9&fname=%E8%AF%BE%E4%BB%B6.ppt&pwd=p w"},
    {"file", "C:\\Lessons\\课件 1.pdf"},
    {"file", "'D:/My Docs/a%20b.pdf'"},
    {"exe", "'C:\\Tools\\工具.exe' '-a b \"c\"'"},
    {"exe", "C:/x.exe"},
};

// A page's link in every form a browser passes on means what the program's
// own form means.
TEST(BrowserLink, EveryFormOfEveryCommandGivesTheSameRecord) {
  const char* const forms[] = {"velmoraurl://%s?&", "velmoraurl://%s?",  "velmoraurl://%s?:",
                               "velmoraurl://%s/?", "velmoraurl://%s/:", "velmoraurl:%s:",
                               "velmoraurl:%s?",    "VELMORAURL:%s:"};
  for (const auto& c : kCommands) {
    const Parsed own = Parse("velmoraurl://" + std::string(c.command) + ":" + c.text);
    ASSERT_NE(own.kind, URL_KIND_NONE) << c.text;
    for (const char* form : forms) {
      // "&" begins the parameters of a resource command only.
      if (std::strchr(form, '&') != nullptr && std::tolower(c.command[0]) != 'r') continue;
      char prefix[64];
      std::snprintf(prefix, sizeof prefix, form, c.command);
      const std::string link = prefix + AsBrowserPasses(AnsiToUtf8(c.text));
      EXPECT_EQ(Record(Parse(link)), Record(own)) << link;
      EXPECT_EQ(Record(Parse(link + "/")), Record(own)) << link << "/";
    }
  }
}

// Links as the browsers of the desktop test passed them.
TEST(BrowserLink, MeasuredLinks) {
  Parsed res = Parse(
      "velmoraurl://res/?fid=L02x&fext=pdf&fname=%E8%AF%BE%E4%BB%B6%201.pptx"
      "&userName=%E5%BC%A0%E4%B8%89&server=10.0.0.5:7112");
  EXPECT_EQ(res.kind, URL_KIND_RES);
  EXPECT_EQ(res.command.m_strFid, "L02x");
  EXPECT_EQ(res.command.m_strFext, "pdf");
  EXPECT_EQ(res.command.m_strFname, "课件 1");
  EXPECT_EQ(res.command.m_strUserName, "张三");
  EXPECT_EQ(res.command.m_strServer, "10.0.0.5");
  EXPECT_EQ(res.command.m_nPort, 7112);
  Parsed odd = Parse("velmoraurl:res:fid=L14x&extradata=a%20b'%22%7C%7B%7D%5E%3C%3E%60%5C~");
  EXPECT_EQ(odd.command.m_strExtraData, "a b|{}^<>`/~");  // as the program's own form reads it
  Parsed exe = Parse("velmoraurl://exe/:'C:/Tools/L33x.exe'%20'-a%20b'");
  EXPECT_EQ(exe.kind, URL_KIND_EXE);
  EXPECT_EQ(exe.command.m_strPath, "C:/Tools/L33x.exe");
  EXPECT_EQ(exe.command.m_strArgs, "-a b");
}

// Whatever is not a browser's form of a command comes back as it was: the
// program's own form keeps its meaning byte for byte.
TEST(BrowserLink, OtherTextIsLeftAlone) {
  const char* const unchanged[] = {
      "velmoraurl://res:fid=a%20b&extradata=%E5%BC%A0",
      "velmoraurl://resfid=7",
      "velmoraurl://resource:fid=1",
      "velmoraurl://file:C:/a%20b.pdf",
      "velmoraurl://exe:'C:/x.exe'",
      "velmoraurl://res/fid=7",
      "velmoraurl:/res:fid=7",
      "velmoraurl:resource?fid=1",
      "velmoraurl:",
      "velmoraurl:other?x=1",
      "http://res?fid=1",
      "",
  };
  for (const char* url : unchanged) EXPECT_EQ(CanonicalLink(url), url) << url;
}

// Decoded once, and only what a browser encodes: escapes a page wrote
// itself keep the meaning of the program's own form.
TEST(BrowserLink, HostileLinks) {
  const struct {
    const char* url;
    int kind;
    const char* fid;
    const char* fname;
    const char* path;
  } cases[] = {
      {"velmoraurl:res?fid=a%2520b", URL_KIND_RES, "a%2520b", "", ""},  // the page's own escape
      // an encoded '&' or '=' never becomes a separator
      {"velmoraurl:res?fid=1%26fid%3D2", URL_KIND_RES, "1%26fid%3D2", "", ""},
      {"velmoraurl:res?fid=1%00", URL_KIND_RES, "1%00", "", ""},
      {"velmoraurl:file:C:/evil.exe%00.pdf", URL_KIND_NONE, "", "", ""},
      {"velmoraurl://exe/:'C:/x.exe%00 C:/y.exe'", URL_KIND_NONE, "", "", ""},
      {"velmoraurl:res?fid=%E5%BC", URL_KIND_RES, "\xE5\xBC", "", ""},  // not UTF-8: bytes kept
      {"velmoraurl:res?fid=%zz%4", URL_KIND_RES, "%zz%4", "", ""},
      {"velmoraurl:", URL_KIND_NONE, "", "", ""},
      {"velmoraurl:res", URL_KIND_NONE, "", "", ""},
      {"velmoraurl://res/", URL_KIND_RES, "", "", ""},
      {"velmoraurl:file?", URL_KIND_NONE, "", "", ""},
      {"velmoraurl:exe?%27%27", URL_KIND_NONE, "", "", ""},
  };
  for (const auto& c : cases) {
    Parsed p = Parse(c.url);
    EXPECT_EQ(p.kind, c.kind) << c.url;
    EXPECT_EQ(p.command.m_strFid, c.fid) << c.url;
    EXPECT_EQ(p.command.m_strFname, c.fname) << c.url;
    EXPECT_EQ(p.command.m_strPath, c.path) << c.url;
  }
}

// Escapes the page wrote itself (a double encoding among them) are decoded
// as in the program's own form, never once more on top.
TEST(BrowserLink, PagesOwnEscapesDecodeAsInTheOwnForm) {
  const struct { const char* browser; const char* own; } cases[] = {
      {"velmoraurl:res?fid=a%2520b&fname=x%2520y%25E8.txt",
       "velmoraurl://res:fid=a%2520b&fname=x%2520y%25E8.txt"},
      {"velmoraurl://file?:C:/a%2520b%2527.pdf", "velmoraurl://file:C:/a%2520b%2527.pdf"},
      {"velmoraurl:exe:'C:/x.exe'%20'%2527%2522'", "velmoraurl://exe:'C:/x.exe' '%2527%2522'"},
      {"velmoraurl:res?fname=%%E8%AF%BE.txt", "velmoraurl://res:fname=%%E8%AF%BE.txt"},
  };
  for (const auto& c : cases) EXPECT_EQ(Record(Parse(c.browser)), Record(Parse(c.own))) << c.browser;
}

TEST(BrowserLink, OverlongExeArgumentIsStillRefused) {
  std::string tooLong(URL_WORK_BUFFER, 'a');
  EXPECT_EQ(Parse("velmoraurl:exe:'C:/x.exe'%20'" + tooLong + "'").kind, URL_KIND_NONE);
  std::string encoded;
  for (size_t i = 0; i < URL_WORK_BUFFER / 3 + 1; ++i) encoded += "%E5";
  EXPECT_EQ(Parse("velmoraurl://exe?'C:/" + encoded + "'").kind, URL_KIND_EXE);
}

}  // namespace
