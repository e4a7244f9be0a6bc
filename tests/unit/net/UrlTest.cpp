#include "net/Url.h"

#include <gtest/gtest.h>

namespace {

TEST(CrackUrl, Table) {
  struct Case { const char* url; bool ok; const char* host; int port; const char* object; bool secure = false; };
  const Case cases[] = {
      {"http://a.b/file/downLoad?ft=1&u=2&fid=9", true, "a.b", 80, "/file/downLoad?ft=1&u=2&fid=9"},
      {"HTTP://Host:8112", true, "Host", 8112, "/"},
      {"http://h?x=1", true, "h", 80, "/?x=1"},
      {"http://user:pw@h:7112/VelmoraTool/vmtool.ini#top", true, "h", 7112, "/VelmoraTool/vmtool.ini"},
      {"http://h:/p%20q", true, "h", 80, "/p%20q"},
      {"http://h:65535/", true, "h", 65535, "/"},
      {"http://h:65536/", false, "", 0, ""},
      {"http://h:8x/", false, "", 0, ""},
      {"http:///path", false, "", 0, ""},
      {"ftp://h/", false, "", 0, ""},
      {"h/path", false, "", 0, ""},
      {"http://h/a\r\nInjected: 1", false, "", 0, ""},
      {"https://h/x", true, "h", 443, "/x", true},
      {"HTTPS://h:8443", true, "h", 8443, "/", true},
      {"https://h:65536/", false, "", 0, ""},
      {"https:/h/", false, "", 0, ""},
      {"httpss://h/", false, "", 0, ""},
  };
  for (const Case& c : cases) {
    UrlParts parts;
    ASSERT_EQ(CrackUrl(c.url, parts), c.ok) << c.url;
    if (!c.ok) continue;
    EXPECT_EQ(parts.strHost, c.host) << c.url;
    EXPECT_EQ(parts.nPort, c.port) << c.url;
    EXPECT_EQ(parts.strObject, c.object) << c.url;
    EXPECT_EQ(parts.bSecure, c.secure) << c.url;
  }
}

}  // namespace
