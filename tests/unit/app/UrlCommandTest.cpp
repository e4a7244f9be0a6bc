#include <gtest/gtest.h>

#include "BuildConfig.h"
#include "app/UrlCommand.h"

namespace {

struct Parsed {
  int kind;
  CUrlCommand command;
};

Parsed Parse(const std::string& url) {
  Parsed p;
  p.kind = ParseUrl(NormaliseUrl(url), p.command);
  return p;
}

TEST(UrlCommand, DefaultsOfTheRecord) {
  CUrlCommand c;
  EXPECT_EQ(c.m_nPort, 9112);
  EXPECT_TRUE(c.m_strServer.empty());
  EXPECT_EQ(c.m_nFtype + c.m_nFsize + c.m_nUserId + c.m_nScore + c.m_nIsExam + c.m_nCouId +
                c.m_nExperId + c.m_nScouId + c.m_nType, 0);
}

TEST(UrlCommand, KindTable) {
  const struct { const char* url; int kind; } cases[] = {
      {"velmoraurl://res:fid=7", URL_KIND_RES},
      {"VELMORAURL://RES:FID=7", URL_KIND_RES},
      {"velmoraurl://resfid=7", URL_KIND_RES},
      {"velmoraurl://  res:fid=7  ", URL_KIND_RES},
      {"velmoraurl://resource:fid=1", URL_KIND_RES},
      {"velmoraurl://file:C:/a.pdf", URL_KIND_FILE},
      {"velmoraurl://file", URL_KIND_NONE},
      {"velmoraurl://fileC/a.pdf", URL_KIND_NONE},
      {"velmoraurl://file:", URL_KIND_NONE},    // nothing to open
      {"velmoraurl://file:''", URL_KIND_NONE},
      // a NUL would cut the name after the checks saw ".pdf"
      {"velmoraurl://file:C:/evil.exe%00.pdf", URL_KIND_NONE},
      {"velmoraurl://exe:'C:/x.exe%00' 'a'", URL_KIND_NONE},
      {"velmoraurl://exe:'C:/x.exe'", URL_KIND_EXE},
      {"velmoraurl://exe:''", URL_KIND_NONE},
      {"velmoraurl://exe", URL_KIND_NONE},
      {"velmoraurl://other:x", URL_KIND_NONE},
      {"http://res:fid=7", URL_KIND_NONE},
      {"velmoraurl:/res:fid=7", URL_KIND_NONE},
      {"", URL_KIND_NONE},
  };
  for (const auto& c : cases) EXPECT_EQ(Parse(c.url).kind, c.kind) << c.url;
}

TEST(UrlCommand, ResourceParameterTable) {
  const struct {
    const char* url;
    const char* fid;
    const char* fext;
    const char* fname;
  } cases[] = {
      {"VELMORAURL://RES:fid=7", "7", "", ""},
      {"velmoraurl://res:fid=7&fext=pdf/", "7", "pdf", ""},
      {"velmoraurl://resfid=7", "7", "", ""},
      {"velmoraurl://res:fid=1&fid=2", "2", "", ""},
      {"velmoraurl://res:fext=a&fext=b", "", "a", ""},
      {"velmoraurl://res:fid&FID=3", "3", "", ""},
      {"velmoraurl://res:fid='12'", "12", "", ""},
      {"velmoraurl://res:&&fid = 5 &&", "5", "", ""},
      {"velmoraurl://resource:fid=9", "", "", ""},  // the parameters begin with "ource:"
      {"velmoraurl://res:fname=a.b.c", "", "c", "a.b"},
      {"velmoraurl://res:fname=noext", "", "", "noext"},
      {"velmoraurl://res:fname=%E8%AF%BE%E4%BB%B6.pptx", "", "pptx", "课件"},
      {"velmoraurl://res:fext=ppt&fname=%E8%AF%BE%E4%BB%B6.pptx", "", "ppt", "课件"},
      {"velmoraurl://res:fname=%E8%AF%BE%E4%BB%B6.pptx&fext=ppt", "", "ppt", "课件"},
      {"velmoraurl://res:fid=a%20b", "a%20b", "", ""},  // only fname is decoded
      {"velmoraurl://res:fid=1&fname=a%00.exe", "1", "", ""},  // a name cut by NUL is not used
  };
  for (const auto& c : cases) {
    Parsed p = Parse(c.url);
    EXPECT_EQ(p.kind, URL_KIND_RES) << c.url;
    EXPECT_EQ(p.command.m_strFid, c.fid) << c.url;
    EXPECT_EQ(p.command.m_strFext, c.fext) << c.url;
    EXPECT_EQ(p.command.m_strFname, c.fname) << c.url;
  }
}

TEST(UrlCommand, ServerTable) {
  const struct { std::string value; const char* host; int port; } cases[] = {
      {"10.0.0.5:7112", "10.0.0.5", 7112},
      {"10.0.0.5", "10.0.0.5", 9112},
      {"10.0.0.5:", "10.0.0.5", 0},
      {"h:1:2", "h:1", 2},
      {":80", ":80", 9112},  // a colon in first place is part of the host
      {VELMORA_DEFAULT_HOST, VELMORA_DEFAULT_HOST, 80},
      {VELMORA_SECOND_HOST, VELMORA_SECOND_HOST, 8050},
      // Over HTTPS the scheme stays with the host; the port comes after it.
      {"https://10.0.0.5:7112", "https://10.0.0.5", 7112},
      {"HTTPS://10.0.0.5", "https://10.0.0.5", 9112},
      {std::string("https://") + VELMORA_DEFAULT_HOST, "https://" VELMORA_DEFAULT_HOST, 443},
  };
  for (const auto& c : cases) {
    Parsed p = Parse("velmoraurl://res:server=" + c.value);
    EXPECT_EQ(p.command.m_strServer, c.host) << c.value;
    EXPECT_EQ(p.command.m_nPort, c.port) << c.value;
  }
  Parsed none = Parse("velmoraurl://res:fid=1");
  EXPECT_EQ(none.command.m_strServer, "");
  EXPECT_EQ(none.command.m_nPort, 9112);
}

TEST(UrlCommand, EveryKeyReachesItsMember) {
  Parsed p = Parse(
      "velmoraurl://res:logoid=L&schoolid=S&pwd=P&hashcode=H&userName=U&extradata=E&ftype=1"
      "&score=100&couId=3&experId=4&isExam=1&userid=42&scouId=5&type=2&unknown=z");
  const CUrlCommand& c = p.command;
  EXPECT_EQ(c.m_strLogoId, "L");
  EXPECT_EQ(c.m_strSchoolId, "S");
  EXPECT_EQ(c.m_strPwd, "P");
  EXPECT_EQ(c.m_strHashCode, "H");
  EXPECT_EQ(c.m_strUserName, "U");
  EXPECT_EQ(c.m_strExtraData, "E");
  EXPECT_EQ(c.m_nFtype, 1);
  EXPECT_EQ(c.m_nScore, 100);
  EXPECT_EQ(c.m_nCouId, 3);
  EXPECT_EQ(c.m_nExperId, 4);
  EXPECT_EQ(c.m_nIsExam, 1);
  EXPECT_EQ(c.m_nUserId, 42);
  EXPECT_EQ(c.m_nScouId, 5);
  EXPECT_EQ(c.m_nType, 2);
  EXPECT_EQ(Parse("velmoraurl://res:fid=1").command.m_strSchoolId, "1");
  EXPECT_EQ(Parse("velmoraurl://res:score=abc").command.m_nScore, 0);
}

TEST(UrlCommand, FileFormPaths) {
  const struct { const char* url; const char* path; } cases[] = {
      {"velmoraurl://file:C:\\Docs\\a.pdf", "C:/Docs/a.pdf"},
      {"\"velmoraurl://file:'C:/My%20Docs/a.pdf'\"", "C:/My Docs/a.pdf"},
      {"velmoraurl://file:C:/%E8%AF%BE%E4%BB%B6.pdf", "C:/课件.pdf"},
      {"velmoraurl://FILE:D:/x/", "D:/x"},
  };
  for (const auto& c : cases) {
    Parsed p = Parse(c.url);
    EXPECT_EQ(p.kind, URL_KIND_FILE) << c.url;
    EXPECT_EQ(p.command.m_strPath, c.path) << c.url;
  }
}

TEST(UrlCommand, ExeFormParts) {
  const struct { const char* url; int kind; const char* path; const char* args; } cases[] = {
      {"velmoraurl://exe:'C:\\Tools\\x.exe' '-a b'", URL_KIND_EXE, "C:/Tools/x.exe", "-a b"},
      {"velmoraurl://exe:'C:/x.exe'", URL_KIND_EXE, "C:/x.exe", ""},
      {"velmoraurl://exe:'C:/x.exe' 'a' 'b'", URL_KIND_EXE, "C:/x.exe", ""},
      {"velmoraurl://exe:C:/x.exe", URL_KIND_EXE, "C:/x.exe", ""},
      {"velmoraurl://exe:''''C:/x.exe''' '  ' 'y'", URL_KIND_EXE, "C:/x.exe", "y"},
      {"velmoraurl://exe:'C:/%E5%B7%A5%E5%85%B7.exe'", URL_KIND_EXE, "C:/工具.exe", ""},
      {"velmoraurl://exe:'   '", URL_KIND_NONE, "", ""},
  };
  for (const auto& c : cases) {
    Parsed p = Parse(c.url);
    EXPECT_EQ(p.kind, c.kind) << c.url;
    EXPECT_EQ(p.command.m_strPath, c.path) << c.url;
    EXPECT_EQ(p.command.m_strArgs, c.args) << c.url;
  }
}

// An argument that does not fit the working buffer is refused whole,
// never cut into a different command.
TEST(UrlCommand, OverlongExeArgumentIsRefused) {
  std::string fits(URL_WORK_BUFFER - 1 - 13, 'a');
  EXPECT_EQ(Parse("velmoraurl://exe:'C:/x.exe' '" + fits + "'").kind, URL_KIND_EXE);
  std::string tooLong(URL_WORK_BUFFER, 'a');
  Parsed p = Parse("velmoraurl://exe:'C:/x.exe' '" + tooLong + "'");
  EXPECT_EQ(p.kind, URL_KIND_NONE);
  EXPECT_TRUE(p.command.m_strPath.empty());
}

TEST(UrlCommand, NormaliseTable) {
  const struct { const char* in; const char* out; } cases[] = {
      {"\"velmoraurl://res:fid=1\"", "velmoraurl://res:fid=1"},
      {"a\\b\\", "a/b"},
      {"a//", "a/"},
      {"\xeb\x5c\\", "\xeb\x5c"},  // a backslash trail byte stays part of its character
  };
  for (const auto& c : cases) EXPECT_EQ(NormaliseUrl(c.in), c.out) << c.in;
}

TEST(IsUtf8Text, Table) {
  const struct { std::string text; bool valid; } cases[] = {
      {"", true},
      {"ascii", true},
      {"\xe4\xb8\xad", true},
      {"\xe4\xb8", false},           // ends inside a character
      {"\x80", false},               // continuation byte in lead position
      {"\xd6\xd0\xce\xc4", false},   // GBK text
      {"\xc3\xa9", true},
      {"\xf0\x9f\x98\x80", true},
      {"\xfc\x80\x80\x80\x80\x80", true},
      {"\xf8\x80\x80\x80\x80", true},
      {"\xfe\x80\x80\x80", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsUtf8Text(c.text), c.valid) << c.text;
}

}  // namespace
