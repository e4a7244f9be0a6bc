#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "FakeDesktop.h"
#include "RefPlatform.h"
#include "TestCa.h"
#include "net/PlatformApi.h"
#include "net/WebClient.h"
#include "store/SegmentedDownloader.h"
#include "store/SettingsStore.h"
#include "ui/LoginRules.h"
#ifdef _WIN32
#include <windows.h>
#include <commctrl.h>

#include "ui/win/DownloadBarDlg.h"
#endif
#include "unit/store/StoreTestSupport.h"

// The client over TLS against the reference platform's HTTPS mode: the host
// name the tests use is "localhost", which the good certificate names.

namespace {

const RefPlatform& Ref() { return RefPlatform::Tls(); }

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

uintmax_t FileSize(const std::string& path) {
  std::error_code error;
  uintmax_t size = std::filesystem::file_size(path, error);
  return error ? 0 : size;
}

std::string SeedFile(const char* name) {
  return ReadFile(std::filesystem::path(VELMORA_SOURCE_DIR) / "testbed/seed/files" / name);
}

std::string DownloadUrl(const std::string& server, const char* fid) {
  return "https://localhost:" + std::to_string(Ref().Port(server)) +
         "/file/downLoad?ft=1&u=2&fid=" + fid;
}

class Tls : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ASSERT_TRUE(CWebClient::StartupSockets());
    ASSERT_TRUE(Ref().IsReady()) << "the HTTPS reference platform fixture is not running";
    ASSERT_TRUE(s_ca.Install(Ref().TlsCa())) << Ref().TlsCa();
  }
  static void TearDownTestSuite() { s_ca.Remove(); }

  void SetUp() override {
    Ref().ClearFaults();
    m_dir = std::filesystem::temp_directory_path() / "velmora-tls-test";
    std::filesystem::remove_all(m_dir);
    std::filesystem::create_directories(m_dir);
  }
  void TearDown() override {
    Ref().ClearFaults();
    std::filesystem::remove_all(m_dir);
  }

  static CTestCa s_ca;
  std::filesystem::path m_dir;
};

CTestCa Tls::s_ca;

TEST_F(Tls, GoodCertificateCarriesTheSameRequestAsPlainHttp) {
  CWebClient client;
  client.m_strSid = "abc";
  const std::string path = (m_dir / "kinematics.pdf").string();
  ASSERT_TRUE(client.Download(DownloadUrl("download", "100001"), path)) << client.m_nError;
  EXPECT_EQ(ReadFile(path), SeedFile("kinematics.pdf"));
  const std::string port = std::to_string(Ref().Port("download"));
  EXPECT_EQ(Ref().LastRequest("download"),
            "GET /file/downLoad?ft=1&u=2&fid=100001 HTTP/1.1\r\nCookie: sid=abc\r\n"
            "Accept: */*\r\nConnection: close\r\nAccept-Language: zh-cn\r\n"
            "User-Agent: WebClient\r\nHost: localhost:" + port + "\r\n\r\n");
}

TEST_F(Tls, RefusedCertificatesSendNothingAndSayWhy) {
  struct Case { const char* server; platform::TlsCertProblem problem; };
  const Case cases[] = {
      {"download_wronghost", platform::TlsCertProblem::WrongHost},
      {"download_expired", platform::TlsCertProblem::Expired},
      {"download_untrusted", platform::TlsCertProblem::Untrusted},
  };
  for (const Case& c : cases) {
    const int before = Ref().RequestCount();
    CWebClient client;
    const std::string path = (m_dir / c.server).string();
    EXPECT_FALSE(client.Download(DownloadUrl(c.server, "100001"), path)) << c.server;
    EXPECT_EQ(client.m_nError, WCE_CERTIFICATE) << c.server;
    EXPECT_EQ(client.m_certProblem, c.problem) << c.server << ": " << client.m_strCertReason;
    EXPECT_FALSE(client.m_strCertReason.empty()) << c.server;
    EXPECT_EQ(FileSize(path), 0u) << c.server;
    EXPECT_EQ(Ref().RequestCount(), before) << c.server << ": a request went out";
    std::string reply;
    EXPECT_FALSE(client.Get(DownloadUrl(c.server, "100001"), reply)) << c.server;
    EXPECT_EQ(client.m_nError, WCE_CERTIFICATE) << c.server;
    // The companion tools' downloader keeps the finding for the user.
    CSegmentedDownloader downloader;
    EXPECT_FALSE(downloader.Start(DownloadUrl(c.server, "100001"), m_dir.string(), "tool.exe", 4));
    EXPECT_EQ(downloader.m_nError, SDE_PROBE) << c.server;
    EXPECT_EQ(downloader.m_certRejection.problem, c.problem) << c.server;
    EXPECT_EQ(downloader.m_certRejection.host, "localhost") << c.server;
    EXPECT_EQ(Ref().RequestCount(), before) << c.server << ": a request went out";
  }
}

#ifdef _WIN32
// The bar that fetches a companion tool says why it stopped, not only that.
TEST_F(Tls, DownloadBarOfARefusedServerTellsTheUserWhy) {
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_BAR_CLASSES};
  InitCommonControlsEx(&controls);
  FakeDesktop desktop;
  CDownloadBarDlg bar(desktop);
  bar.m_strUrl = DownloadUrl("download_untrusted", "100001");
  bar.m_strPath = m_dir.string();
  bar.m_pszName = "VmCourse_self.exe";
  // The bar starts as it opens: a "退出" posted once it is there comes after.
  std::thread closer([] {
    HWND window = nullptr;
    for (int i = 0; i < 1000 && !window; ++i, Sleep(10)) window = FindWindowA(nullptr, "下载");
    if (window) PostMessageA(window, WM_COMMAND, IDCANCEL, 0);
  });
  EXPECT_EQ(bar.DoModal(nullptr), IDCANCEL);
  closer.join();
  EXPECT_EQ(bar.GetText(), "下载失败");
  EXPECT_EQ(desktop.messages,
            std::vector<std::string>{
                "提示|服务器 localhost 的证书无效（证书不是由受信任的机构颁发的），已停止连接。"});
  EXPECT_FALSE(std::filesystem::exists(m_dir / "VmCourse_self.exe"));
}
#endif

TEST_F(Tls, HttpsToAPlainHttpServerFailsInsteadOfFallingBack) {
  const int before = Ref().RequestCount();
  CWebClient client;
  client.m_nRecvTimeout = 5000;
  std::string reply;
  const std::string url = "https://localhost:" + std::to_string(Ref().Port("cdn")) + "/";
  EXPECT_FALSE(client.Get(url, reply));
  EXPECT_EQ(client.m_nError, WCE_CONNECT);
  EXPECT_EQ(client.m_certProblem, platform::TlsCertProblem::None);
  // The handshake bytes reach the server as a request of garbage, never a GET.
  std::string last = Ref().RequestCount() > before ? Ref().LastRequest("cdn") : "";
  EXPECT_EQ(last.find("GET "), std::string::npos);
}

TEST_F(Tls, DownloadResumesOverTls) {
  const std::string whole = SeedFile("lesson1.mp4");
  const std::string path = (m_dir / "lesson1.mp4").string();
  Ref().SetFaults(R"([{"server": "download", "close_after": 5000, "times": 1}])");
  CWebClient client;
  EXPECT_FALSE(client.Download(DownloadUrl("download", "100002"), path));
  EXPECT_EQ(FileSize(path), 5000u);
  ASSERT_TRUE(client.Download(DownloadUrl("download", "100002"), path)) << client.m_nError;
  EXPECT_NE(Ref().LastRequest("download").find("Range: bytes=5000-\r\n"), std::string::npos);
  EXPECT_EQ(ReadFile(path), whole);
}

TEST_F(Tls, SegmentedDownloadOverTls) {
  {
    CSegmentedDownloader downloader;
    ASSERT_TRUE(downloader.Start(DownloadUrl("download", "100002"), m_dir.string(), "lesson1.mp4",
                                 4))
        << downloader.m_nError;
    ASSERT_TRUE(downloader.Finish(true, 30000));
  }
  EXPECT_EQ(ReadFile(m_dir / "lesson1.mp4"), SeedFile("lesson1.mp4"));
}

TEST_F(Tls, PlatformInterfaceOverHttps) {
  LoginInfo info;
  int schoolId = 0, ret = -1;
  std::string schoolName;
  bool replied = false;
  EXPECT_TRUE(CPlatformApi::Login("https://localhost", Ref().Port("api"), "13800000001", "123456",
                                  info, schoolId, schoolName, replied, LOGIN_KIND_PHONE, "", ret));
  EXPECT_TRUE(replied);
  EXPECT_EQ(info.userId, 1001);
  CertificateRejection rejection;
  EXPECT_FALSE(CPlatformApi::TakeCertificateRejection(rejection));
}

TEST_F(Tls, LoginToAServerWithAnExpiredCertificateSaysSo) {
  ScratchDir dir;
  CSettingsStore settings(dir.Path());
  LoginInfo login;
  bool loggedIn = false;
  FakeDesktop desktop;
  LoginInput input;
  input.serverText = "https://localhost:" + std::to_string(Ref().Port("download_expired"));
  input.user = "13800000001";
  input.password = "123456";
  EXPECT_FALSE(SubmitLogin(input, {settings, login, loggedIn, desktop}));
  EXPECT_EQ(desktop.messages,
            std::vector<std::string>{
                "提示|服务器 localhost 的证书无效（证书已过期或尚未生效），已停止连接。"});
  EXPECT_FALSE(loggedIn);
  EXPECT_TRUE(settings.m_accounts.empty());
}

// The internet library checks the certificate itself (no flag relaxes it);
// the stand-in without it speaks no TLS and sends nothing at all.
TEST_F(Tls, InternetLibraryFetchOverHttps) {
  struct Case {
    const char* server;
    bool fetched;
  } cases[] = {
#ifdef _WIN32
      {"download", true},
#else
      {"download", false},
#endif
      {"download_expired", false},
      {"download_untrusted", false},
  };
  for (const Case& c : cases) {
    const int before = Ref().RequestCount();
    CWebClient client;
    client.m_nConnectTimeout = client.m_nSendTimeout = client.m_nRecvTimeout = 5000;
    std::string reply;
    EXPECT_EQ(client.InetGet(DownloadUrl(c.server, "100001"), reply), c.fetched) << c.server;
    EXPECT_EQ(Ref().RequestCount(), before + (c.fetched ? 1 : 0)) << c.server;
    if (c.fetched) {
      EXPECT_EQ(reply.size(), SeedFile("kinematics.pdf").size());
    }
  }
}

TEST_F(Tls, AbortEndsAStalledTlsTransferAtOnce) {
  Ref().SetFaults(R"([{"server": "download", "stall": {"after": 100, "seconds": 30}}])");
  CWebClient client;
  const std::string path = (m_dir / "stalled").string();
  std::thread transfer([&] { client.Download(DownloadUrl("download", "100002"), path); });
  for (int i = 0; i < 500 && FileSize(path) < 100; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  const auto aborted = std::chrono::steady_clock::now();
  client.AbortFromOtherThread();
  transfer.join();
  EXPECT_LT(std::chrono::steady_clock::now() - aborted, std::chrono::seconds(2));
  EXPECT_EQ(client.m_nError, WCE_RECV_BODY);
}

}  // namespace
