#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "LoopbackServer.h"
#include "net/WebClient.h"

namespace {

const char BLOCK_C[] =
    "Accept: */*\r\nConnection: close\r\nAccept-Language: zh-cn\r\nUser-Agent: WebClient\r\n";

class Downloads : public testing::Test {
 protected:
  void SetUp() override {
    m_path = testing::TempDir() + "velmora_download_" +
             testing::UnitTest::GetInstance()->current_test_info()->name();
    std::remove(m_path.c_str());
  }
  void TearDown() override { std::remove(m_path.c_str()); }
  void WriteFile(const std::string& bytes) {
    std::ofstream(m_path, std::ios::binary) << bytes;
  }
  std::string ReadFile() {
    std::ifstream file(m_path, std::ios::binary);
    std::stringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
  }
  static std::string Head(const CLoopbackServer& server, const std::string& lines) {
    return "GET /file HTTP/1.1\r\n" + lines + BLOCK_C + "Host: 127.0.0.1:" +
           std::to_string(server.Port()) + "\r\n\r\n";
  }
  std::string m_path;
};

CLoopbackServer::Script Answer(const std::string& reply) {
  return [reply](CLoopbackPeer& peer) { peer.Send(reply); };
}

std::string Ok(const std::string& body, const char* status = "200 OK") {
  return Reply(status, "Content-Length: " + std::to_string(body.size()) + "\r\n", body);
}

TEST_F(Downloads, FreshDownloadThenResumeRequestBytes) {
  CLoopbackServer server(Answer(Ok("0123456789")));
  CWebClient client;
  ASSERT_TRUE(client.Download(server.Url(), m_path));
  EXPECT_EQ(ReadFile(), "0123456789");
  EXPECT_EQ(server.Requests().at(0), Head(server, "Cookie: sid=\r\n"));

  CLoopbackServer resume(Answer(Reply("206 Partial Content",
                                      "Content-Range: bytes 10-12/13\r\nContent-Length: 3\r\n",
                                      "abc")));
  client.m_strSid = "S";
  ASSERT_TRUE(client.Download(resume.Url(), m_path));
  EXPECT_EQ(ReadFile(), "0123456789abc");
  EXPECT_EQ(resume.Requests().at(0), Head(resume, "Range: bytes=10-\r\nCookie: sid=S\r\n"));
}

TEST_F(Downloads, ContentLengthZero) {
  for (bool onDisk : {false, true}) {
    std::remove(m_path.c_str());
    if (onDisk) WriteFile("complete");
    CLoopbackServer server(Answer(Reply("206 Partial Content", "Content-Length: 0\r\n", "")));
    CWebClient client;
    EXPECT_EQ(client.Download(server.Url(), m_path), onDisk);
    EXPECT_EQ(client.m_nError, WCE_PROTOCOL);
    EXPECT_EQ(ReadFile(), onDisk ? "complete" : "");
  }
}

TEST_F(Downloads, NoLengthReadsToCloseThenResumes) {
  CLoopbackServer first(Answer(Reply("200 OK", "", "partial")));
  CWebClient client;
  EXPECT_FALSE(client.Download(first.Url(), m_path));
  EXPECT_EQ(client.m_nError, WCE_RECV_BODY);
  EXPECT_EQ(ReadFile(), "partial");
  CLoopbackServer second(Answer(Reply("206 Partial Content", "Content-Length: 5\r\n", "-rest")));
  ASSERT_TRUE(client.Download(second.Url(), m_path));
  EXPECT_EQ(ReadFile(), "partial-rest");
  EXPECT_NE(second.Requests().at(0).find("Range: bytes=7-\r\n"), std::string::npos);
}

TEST_F(Downloads, RepliesThatMustNotCorruptAResume) {
  struct Case { const char* name; std::string reply; bool ok; int error; const char* file; };
  const Case cases[] = {
      {"error page", Ok("<html>not found</html>", "404 Not Found"), false, WCE_STATUS, "old"},
      {"whole file for a range", Ok("oldNEW"), true, WCE_OK, "oldNEW"},
      {"wrong range start",
       Reply("206 Partial Content", "Content-Range: bytes 0-5/6\r\nContent-Length: 6\r\n",
             "oldNEW"),
       false, WCE_STATUS, "old"},
      {"more than its length", Reply("206 Partial Content", "Content-Length: 3\r\n", "NEWjunk"),
       true, WCE_OK, "oldNEW"},
      {"empty error page on a complete file", Reply("500 Oops", "Content-Length: 0\r\n", ""),
       false, WCE_STATUS, "old"},
      {"range past the end of a complete file",
       Reply("416 Range Not Satisfiable", "Content-Range: bytes */3\r\nContent-Length: 6\r\n",
             "<html>"),
       true, WCE_PROTOCOL, "old"},
      {"range past the end of a longer resource",
       Reply("416 Range Not Satisfiable", "Content-Range: bytes */9\r\nContent-Length: 6\r\n",
             "<html>"),
       false, WCE_STATUS, "old"},
  };
  for (const Case& c : cases) {
    WriteFile("old");
    CLoopbackServer server(Answer(c.reply));
    CWebClient client;
    EXPECT_EQ(client.Download(server.Url(), m_path), c.ok) << c.name;
    EXPECT_EQ(client.m_nError, c.error) << c.name;
    EXPECT_EQ(ReadFile(), c.file) << c.name;
  }
}

TEST_F(Downloads, ProgressReportsTotalAndCount) {
  std::string body(40000, 'x');
  CLoopbackServer server(Answer(Ok(body)));
  CWebClient client;
  std::vector<std::pair<int64_t, int64_t>> calls;
  client.m_pUserData = &calls;
  client.m_pfnProgress = [](int64_t total, int64_t received, void* user) {
    static_cast<std::vector<std::pair<int64_t, int64_t>>*>(user)->push_back({total, received});
  };
  ASSERT_TRUE(client.Download(server.Url(), m_path));
  ASSERT_GE(calls.size(), 3u);  // at least one call per 16384-byte block
  for (size_t i = 1; i < calls.size(); ++i) EXPECT_GT(calls[i].second, calls[i - 1].second);
  EXPECT_EQ(calls.back().first, 40000);
  EXPECT_EQ(calls.back().second, 40000);
}

TEST_F(Downloads, RangeRequestBytesAndNeverPastTheLength) {
  WriteFile(std::string(10, '.'));
  CLoopbackServer server(
      Answer(Reply("206 Partial Content", "Content-Length: 3\r\n", "abcXYZ")), 2);
  CWebClient client;
  ASSERT_TRUE(client.DownloadRange(server.Url(), m_path, 2, 4));
  EXPECT_EQ(ReadFile(), "..abc.....");
  ASSERT_TRUE(client.DownloadRange(server.Url(), m_path, 0, 0));
  EXPECT_EQ(ReadFile(), "abcbc.....");
  auto requests = server.Requests();
  EXPECT_EQ(requests.at(0), Head(server, "Range: bytes=2-4\r\nCookie: sid=\r\n"));
  EXPECT_EQ(requests.at(1), Head(server, "Range: bytes=0-\r\nCookie: sid=\r\n"));
}

TEST_F(Downloads, RangeRepliesThatWouldLandOnOtherSegments) {
  struct Case { const char* name; std::string reply; int64_t start; bool ok; const char* file; };
  const Case cases[] = {
      {"whole file for a later range", Ok("0123456789"), 5, false, "----------"},
      {"whole file from the start", Ok("0123456789"), 0, true, "0123456789"},
      {"error page", Ok("page", "403 Forbidden"), 0, false, "----------"},
      {"no length: only what came with the header",
       Reply("206 Partial Content", "", "ab"), 3, true, "---ab-----"},
  };
  for (const Case& c : cases) {
    WriteFile("----------");
    CLoopbackServer server(Answer(c.reply));
    CWebClient client;
    EXPECT_EQ(client.DownloadRange(server.Url(), m_path, c.start, 0), c.ok) << c.name;
    EXPECT_EQ(ReadFile(), c.file) << c.name;
  }
}

TEST_F(Downloads, DataCallbackStopsASegment) {
  std::string body(100000, 'z');
  CLoopbackServer server([body](CLoopbackPeer& peer) {
    peer.Send(Reply("206 Partial Content", "Content-Length: 100000\r\n", ""));
    peer.Pause(50);
    peer.Send(body);
  });
  CWebClient client;
  client.m_pUserData = &client;
  client.m_pfnData = [](int64_t, int64_t received, int, void* user) {
    if (received >= 16384) static_cast<CWebClient*>(user)->StopTransfer();
  };
  EXPECT_FALSE(client.DownloadRange(server.Url(), m_path, 0, 0));
  EXPECT_EQ(client.m_nError, WCE_RECV_BODY);
  EXPECT_TRUE(client.m_bStopped);
  EXPECT_LT(ReadFile().size(), body.size());
}

TEST_F(Downloads, StalledBodyEndsWithTheReceiveCode) {
  CLoopbackServer server([](CLoopbackPeer& peer) {
    peer.Send(Reply("206 Partial Content", "Content-Length: 10\r\n", "abc"));
    peer.Pause(1500);
  });
  CWebClient client;
  client.m_nRecvTimeout = 200;
  EXPECT_FALSE(client.DownloadRange(server.Url(), m_path, 0, 9));
  EXPECT_EQ(client.m_nError, WCE_RECV_BODY);
  EXPECT_NE(client.m_nSysError, 0);
  EXPECT_EQ(ReadFile(), "abc");
}

TEST_F(Downloads, TargetThatCannotBeOpened) {
  CWebClient client;
  std::string directory = testing::TempDir();
  EXPECT_FALSE(client.Download("http://127.0.0.1:1/x", directory));
  EXPECT_EQ(client.m_nError, WCE_FILE_OPEN);
  EXPECT_FALSE(client.DownloadRange("http://127.0.0.1:1/x", directory, 0, 0));
  EXPECT_EQ(client.m_nError, WCE_FILE_OPEN);
  EXPECT_NE(client.m_nSysError, 0);
}

}  // namespace
