#include "net/WebClient.h"

#include <gtest/gtest.h>

#include "LoopbackServer.h"
#include "net/WebClientExchange.h"

namespace {

const char BLOCK_TAIL[] =
    "Accept: */*\r\nConnection: close\r\nAccept-Language: zh-cn\r\nUser-Agent: WebClient\r\n";
const char FORM_TYPE[] = "Content-Type: application/x-www-form-urlencoded\r\n";

std::string HostLine(const CLoopbackServer& server) {
  return "Host: 127.0.0.1:" + std::to_string(server.Port()) + "\r\n\r\n";
}

CLoopbackServer::Script Answer(const std::string& reply) {
  return [reply](CLoopbackPeer& peer) { peer.Send(reply); };
}

TEST(WebClient, TextRequestBytes) {
  CLoopbackServer server(Answer(Reply("200 OK", "Content-Length: 2\r\n", "ok")), 4);
  CWebClient client;
  std::string reply;
  CHttpResponseHeader header;
  ASSERT_TRUE(client.GetHeaders(server.Url("/h?x=1"), header));
  ASSERT_TRUE(client.Get(server.Url("/g"), reply));
  EXPECT_EQ(reply, "ok");
  client.m_strSid = "S1";
  ASSERT_TRUE(client.Get(server.Url("/g"), reply));
  ASSERT_TRUE(client.Post(server.Url("/p"), "a=1&b=中", reply));
  EXPECT_EQ(client.m_strHost, "127.0.0.1");
  EXPECT_EQ(client.m_nPort, server.Port());
  EXPECT_EQ(client.m_hSocket, platform::INVALID_SOCKET_HANDLE);
  auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 4u);
  std::string blockA = std::string(BLOCK_TAIL) + FORM_TYPE + HostLine(server);
  EXPECT_EQ(requests[0], "GET /h?x=1 HTTP/1.1\r\n" + blockA);
  EXPECT_EQ(requests[1], "GET /g HTTP/1.1\r\n" + blockA);
  EXPECT_EQ(requests[2], "GET /g HTTP/1.1\r\nCookie: sid=S1\r\n" + blockA);
  EXPECT_EQ(requests[3], "POST /p HTTP/1.1\r\nCookie: sid=S1\r\n" + std::string(BLOCK_TAIL) +
                             FORM_TYPE + "Content-Length: 8\r\n" + HostLine(server) + "a=1&b=中");
}

TEST(HeaderEndFinder, FindsTheFirstBlankLineAcrossEverySplit) {
  for (std::string text : {"a\r\n\r\nb", "\r\n\r\r\n\r\nx", "\r\r\n\r\n", "\n\r\n\r\n\r\n",
                           "\r\n\r\r\n"}) {
    size_t at = text.find("\r\n\r\n");
    int expected = at == std::string::npos ? -1 : (int)at + 4;
    for (size_t split = 0; split <= text.size(); ++split) {
      webclient::CHeaderEndFinder finder;
      int end = finder.Feed(text.data(), (int)split);
      if (end < 0) {
        end = finder.Feed(text.data() + split, (int)(text.size() - split));
        if (end >= 0) end += (int)split;
      }
      EXPECT_EQ(end, expected) << "split at " << split;
    }
  }
}

TEST(WebClient, SidFromAServerCannotAddHeaders) {
  CLoopbackServer server(Answer(Reply("200 OK", "Content-Length: 0\r\n", "")));
  CWebClient client;
  client.m_strSid = "abc\r\nX-Injected: 1";
  std::string reply;
  ASSERT_TRUE(client.Get(server.Url(), reply));
  std::string request = server.Requests().at(0);
  EXPECT_NE(request.find("\r\nCookie: sid=abcX-Injected: 1\r\n"), std::string::npos);
}

TEST(WebClient, GetHeadersDoesNotJudgeTheStatus) {
  CLoopbackServer server(Answer(Reply(
      "404 Not Found", "Accept-Ranges: bytes\r\nContent-Length: 123456789\r\n", "page")));
  CWebClient client;
  CHttpResponseHeader header;
  ASSERT_TRUE(client.GetHeaders(server.Url(), header));
  EXPECT_EQ(header.m_nStatus, 404);
  EXPECT_EQ(header.m_nContentLength, 123456789);
  EXPECT_TRUE(header.AcceptsByteRanges());
  EXPECT_EQ(client.m_hSocket, platform::INVALID_SOCKET_HANDLE);
}

TEST(WebClient, HeaderBlockSplitBetweenReceives) {
  CLoopbackServer server([](CLoopbackPeer& peer) {
    peer.Send("HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r");
    peer.Pause(100);
    peer.Send("\nbody");
  });
  CWebClient client;
  std::string reply;
  ASSERT_TRUE(client.Get(server.Url(), reply));
  EXPECT_EQ(reply, "body");
}

struct TextCase {
  const char* name;
  std::string reply;
  bool ok;
  int error;
  const char* body;
};

TEST(WebClient, TextReplyOutcomes) {
  const TextCase cases[] = {
      {"3 of 10 then close", Reply("200 OK", "Content-Length: 10\r\n", "abc"), false,
       WCE_RECV_BODY, "abc"},
      {"404 with page", Reply("404 Not Found", "Content-Length: 4\r\n", "gone"), false,
       WCE_STATUS, "gone"},
      {"no length reads nothing more", Reply("200 OK", "", "first"), true, WCE_OK, "first"},
      {"bytes past the length dropped", Reply("200 OK", "Content-Length: 2\r\n", "okJUNK"),
       true, WCE_OK, "ok"},
      {"zero byte ends the text", Reply("200 OK", "Content-Length: 5\r\n", std::string("ab\0cd", 5)),
       true, WCE_OK, "ab"},
      {"status line without reason", "HTTP/1.1 200\r\n\r\n", false, WCE_PROTOCOL, ""},
      {"closed before the header ends", "HTTP/1.1 200 OK\r\nX: 1\r\n", false, WCE_RECV_HEADER, ""},
      {"header block over 16384 bytes", "HTTP/1.1 200 OK\r\nX: " + std::string(20000, 'x'), false,
       WCE_PROTOCOL, ""},
      {"length beyond any text reply", Reply("200 OK", "Content-Length: 2000000000\r\n", "x"),
       false, WCE_PROTOCOL, ""},
  };
  for (const TextCase& c : cases) {
    CLoopbackServer server(Answer(c.reply));
    CWebClient client;
    std::string reply = "stale";
    EXPECT_EQ(client.Get(server.Url(), reply), c.ok) << c.name;
    EXPECT_EQ(client.m_nError, c.error) << c.name;
    EXPECT_EQ(reply, c.body) << c.name;
    EXPECT_EQ(client.m_hSocket, platform::INVALID_SOCKET_HANDLE) << c.name;
  }
}

TEST(WebClient, RefusedPortsAndUrls) {
  CWebClient client;
  std::string reply;
  struct Case { std::string url; int error; } cases[] = {
      {"http://127.0.0.1:65535/x", WCE_CONNECT},
      {"http://127.0.0.1:0/x", WCE_CONNECT},
      {"ftp://127.0.0.1/x", WCE_PROTOCOL},
      {"http://127.0.0.1:99999/x", WCE_PROTOCOL},
  };
  for (const Case& c : cases) {
    EXPECT_FALSE(client.Get(c.url, reply)) << c.url;
    EXPECT_EQ(client.m_nError, c.error) << c.url;
  }
  // A port nobody listens on: refused at once, with the system's number.
  ASSERT_TRUE(CWebClient::StartupSockets());
  uint16_t port = 0;
  platform::SocketHandle probe = platform::ListenTcp("127.0.0.1", 0, port);
  platform::CloseSocket(probe);
  client.m_nSysError = 0;
  EXPECT_FALSE(client.Get("http://127.0.0.1:" + std::to_string(port) + "/", reply));
  EXPECT_EQ(client.m_nError, WCE_CONNECT) << "port " << port;
  EXPECT_NE(client.m_nSysError, 0) << "port " << port;
}

TEST(WebClient, ReceiveTimeoutEndsAStalledReply) {
  // Of the two, only the header failure of a text request carries the
  // system's error number.
  struct Case { const char* name; std::string first; int error; bool sysError; } cases[] = {
      {"stalled header", "HTTP/1.1 200 OK\r\n", WCE_RECV_HEADER, true},
      {"stalled body", Reply("200 OK", "Content-Length: 10\r\n", "abc"), WCE_RECV_BODY, false},
  };
  for (const Case& c : cases) {
    std::string first = c.first;
    CLoopbackServer server([first](CLoopbackPeer& peer) {
      peer.Send(first);
      peer.Pause(1500);
    });
    CWebClient client;
    client.m_nRecvTimeout = 200;
    std::string reply;
    auto began = std::chrono::steady_clock::now();
    EXPECT_FALSE(client.Get(server.Url(), reply)) << c.name;
    auto waited = std::chrono::steady_clock::now() - began;
    EXPECT_EQ(client.m_nError, c.error) << c.name;
    EXPECT_EQ(client.m_nSysError != 0, c.sysError) << c.name;
    EXPECT_LT(waited, std::chrono::milliseconds(1200)) << c.name;
  }
}

}  // namespace

// An abort from another thread ends a receive that waits on a silent server
// at once, and refuses connections until they are resumed: a stop that
// comes between two attempts cannot start a new wait.
TEST(WebClientAbort, EndsAWaitingReceiveAndRefusesNewConnections) {
  CLoopbackServer server(
      [](CLoopbackPeer& peer) {
        peer.Send("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nabc");
        peer.Pause(1500);
      },
      2);
  CWebClient client;
  std::thread stopper([&client] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    client.AbortFromOtherThread();
  });
  std::string reply;
  auto began = std::chrono::steady_clock::now();
  EXPECT_FALSE(client.Get(server.Url(), reply));
  EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::milliseconds(1200));
  EXPECT_EQ(client.m_nError, WCE_RECV_BODY);
  stopper.join();

  EXPECT_FALSE(client.Get(server.Url(), reply));
  EXPECT_EQ(client.m_nError, WCE_CONNECT);
  EXPECT_EQ(server.Requests().size(), 1u);  // refused before connecting
  client.ResumeConnections();
  EXPECT_FALSE(client.Get(server.Url(), reply));  // the silent server again
  EXPECT_EQ(server.Requests().size(), 2u);
}
