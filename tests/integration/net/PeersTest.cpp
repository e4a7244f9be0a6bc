#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "RefPlatform.h"
#include "net/Json.h"
#include "net/WebClient.h"

// The client against the download service, the tool server and the CDN
// server as the resource and update commands use them.

namespace {

const RefPlatform& Ref() { return RefPlatform::Get(); }

std::string Url(const std::string& server, const std::string& object) {
  return "http://127.0.0.1:" + std::to_string(Ref().Port(server)) + object;
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

std::string SeedFile(const char* name) {
  return ReadFile(std::filesystem::path(VELMORA_SOURCE_DIR) / "testbed" / "seed" / "files" / name);
}

class PeersTest : public testing::Test {
 protected:
  static void SetUpTestSuite() { ASSERT_TRUE(CWebClient::StartupSockets()); }
  void SetUp() override {
    ASSERT_TRUE(Ref().IsReady()) << "the reference platform fixture is not running";
    Ref().ClearFaults();
    m_dir = std::filesystem::temp_directory_path() / "velmora-peers-test";
    std::filesystem::remove_all(m_dir);
    std::filesystem::create_directories(m_dir);
  }
  void TearDown() override {
    Ref().ClearFaults();
    std::filesystem::remove_all(m_dir);
  }
  std::filesystem::path m_dir;
};

TEST_F(PeersTest, ResourceDownloadResumesWithARange) {
  const std::string pdf = SeedFile("kinematics.pdf");
  std::string target = (m_dir / "100001.pdf.tmp").string();
  std::ofstream(target, std::ios::binary) << pdf.substr(0, 100);

  CWebClient client;
  ASSERT_TRUE(client.Download(Url("download", "/file/downLoad?ft=1&u=2&fid=100001"), target))
      << client.m_nError;
  EXPECT_EQ(ReadFile(target), pdf);
  EXPECT_NE(Ref().LastRequest("download").find("\r\nRange: bytes=100-\r\n"), std::string::npos);
}

TEST_F(PeersTest, ToolDescriptionFileDownloads) {
  std::string target = (m_dir / "vmtool.ini").string();
  CWebClient client;
  ASSERT_TRUE(client.Download(Url("tool", "/VelmoraTool/vmtool.ini"), target)) << client.m_nError;
  EXPECT_EQ(ReadFile(target).rfind("[VelmoraURL]", 0), 0u);
}

TEST_F(PeersTest, CdnLookUpThroughTheInternetLibrary) {
  CWebClient client;
  std::string reply;
  ASSERT_TRUE(client.InetGet(Url("cdn", "/command/find.do?fid=100001"), reply));
  CJsonDocument found;
  ASSERT_TRUE(found.Parse(reply));
  EXPECT_EQ(found.GetString("ret"), "0");
  EXPECT_EQ(found.GetString("path"), "/files/100001.pdf");

  std::string check;
  EXPECT_TRUE(client.InetGet(Url("cdn", "/command/check.do"), check));
  std::string page;
  EXPECT_FALSE(client.InetGet(Url("cdn", "/files/none.bin"), page));
  EXPECT_NE(page.find("404"), std::string::npos);

  std::string file;
  ASSERT_TRUE(client.Get(Url("cdn", found.GetString("path")), file));
  EXPECT_EQ(file, SeedFile("kinematics.pdf"));
}

// A resume answered with the whole file must give the file once, not the old
// bytes followed by a second copy.
TEST_F(PeersTest, ResumeAnsweredWithTheWholeFile) {
  const std::string pdf = SeedFile("kinematics.pdf");
  std::string target = (m_dir / "100001.pdf.tmp").string();
  std::ofstream(target, std::ios::binary) << pdf.substr(0, 300);
  Ref().SetFaults("[{\"server\":\"download\",\"ignore_range\":true,\"times\":1}]");

  CWebClient client;
  EXPECT_TRUE(client.Download(Url("download", "/file/downLoad?ft=1&u=2&fid=100001"), target));
  EXPECT_EQ(ReadFile(target), pdf);
}

}  // namespace
