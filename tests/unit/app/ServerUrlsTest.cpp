#include <gtest/gtest.h>

#include "BuildConfig.h"
#include "app/AppToolCommands.h"
#include "app/DownloadUrls.h"
#include "net/PlatformApi.h"
#include "tools/ToolContext.h"

// Every URL built from a server entry keeps its scheme: a plain host gives
// the designed http:// URLs byte for byte, "https://host" the same over TLS.

namespace {

TEST(ServerUrlsTest, SchemeOfTheEntryReachesEveryUrl) {
  struct Case {
    std::string host, download, tool;
  } cases[] = {
      {"plat.cn", "http://plat.cn:8112/file/downLoad?ft=1&u=2&fid=9",
       "http://plat.cn:7112/VelmoraTool/a.ini"},
      {"https://plat.cn", "https://plat.cn:8112/file/downLoad?ft=1&u=2&fid=9",
       "https://plat.cn:7112/VelmoraTool/a.ini"},
      {"HTTPS://plat.cn", "https://plat.cn:8112/file/downLoad?ft=1&u=2&fid=9",
       "https://plat.cn:7112/VelmoraTool/a.ini"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(PlatformDownloadUrl(c.host, 1, "9"), c.download) << c.host;
    EXPECT_EQ(ToolFileUrl(c.host, "a.ini"), c.tool) << c.host;
  }
  // The LAN's cache server is the school's own: always HTTP.
  EXPECT_EQ(CdnFileUrl("10.1.0.8:8000", "/f/9.pdf"), "http://10.1.0.8:8000/f/9.pdf");
}

TEST(ServerUrlsTest, ToolServerGoesOverHttpsOnlyWhenItsHostWasEnteredSo) {
  const std::string def = VELMORA_DEFAULT_HOST, secure = "https://" + def;
  struct Case {
    std::string policy, last, expected;
  } cases[] = {
      {"", def, def},
      {"", "https://other.cn", def},
      {"", secure, secure},
      {secure + ":9112", def, secure},
      {"https://other.cn", "other.cn", def},
      {def + ":9112", def, def},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ToolServerHost(c.policy, c.last), c.expected) << c.policy << " | " << c.last;
}

TEST(ServerUrlsTest, RefusedCertificateIsNamedToTheUser) {
  using platform::TlsCertProblem;
  struct Case {
    TlsCertProblem problem;
    const char* message;
  } cases[] = {
      {TlsCertProblem::Expired, "服务器 plat.cn 的证书无效（证书已过期或尚未生效），已停止连接。"},
      {TlsCertProblem::WrongHost, "服务器 plat.cn 的证书无效（证书不属于该服务器），已停止连接。"},
      {TlsCertProblem::Untrusted,
       "服务器 plat.cn 的证书无效（证书不是由受信任的机构颁发的），已停止连接。"},
      {TlsCertProblem::Other, "服务器 plat.cn 的证书无效（证书无法验证），已停止连接。"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(CertificateFailureMessage({"plat.cn", c.problem, "detail"}), c.message);
}

}  // namespace
