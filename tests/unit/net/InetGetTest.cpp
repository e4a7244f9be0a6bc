#include <gtest/gtest.h>

#include "LoopbackServer.h"
#include "net/WebClient.h"

namespace {

bool HasLine(const std::string& request, const std::string& line) {
  return request.find("\r\n" + line + "\r\n") != std::string::npos;
}

TEST(InetGet, PageCookiesAndHeaderRules) {
  CLoopbackServer server(
      [](CLoopbackPeer& peer) {
        peer.Send(Reply("200 OK", "Set-Cookie: token=abc\r\nContent-Length: 19\r\n",
                        "{\"size\":5,\"path\":1}"));
      },
      2);
  CWebClient client;
  std::string reply;
  ASSERT_TRUE(client.InetGet(server.Url("/command/find.do?fid=7"), reply));
  EXPECT_EQ(reply, "{\"size\":5,\"path\":1}");
  EXPECT_EQ(client.m_strSetCookie, "token=abc");
  EXPECT_EQ(client.m_strHost, "127.0.0.1");
  EXPECT_EQ(client.m_nPort, server.Port());
  client.m_strSid = "S9";
  reply.clear();
  ASSERT_TRUE(client.InetGet(server.Url("/command/check.do"), reply));
  auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].rfind("GET /command/find.do?fid=7 HTTP/1.1\r\n", 0), 0u);
  EXPECT_TRUE(HasLine(requests[0], "Accept:*/*") || HasLine(requests[0], "Accept: */*"));
  EXPECT_EQ(requests[0].find("Cookie:"), std::string::npos);
  EXPECT_TRUE(HasLine(requests[1], "Cookie: sid=S9"));
}

TEST(InetGet, ErrorPageAndUnreachableServer) {
  CLoopbackServer server([](CLoopbackPeer& peer) {
    peer.Send(Reply("404 Not Found", "Content-Length: 9\r\n", "not here."));
  });
  CWebClient client;
  std::string reply;
  EXPECT_FALSE(client.InetGet(server.Url(), reply));
  EXPECT_EQ(reply, "not here.");
  EXPECT_EQ(client.m_nError, WCE_OK);

  uint16_t port = 0;
  platform::CloseSocket(platform::ListenTcp("127.0.0.1", 0, port));
  client.m_nConnectTimeout = 500;
  reply.clear();
  EXPECT_FALSE(client.InetGet("http://127.0.0.1:" + std::to_string(port) + "/", reply));
  EXPECT_EQ(reply, "");
}

TEST(InetGet, ReceiveTimeoutEndsAStalledReply) {
  CLoopbackServer server([](CLoopbackPeer& peer) {
    peer.Send("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nabc");
    peer.Pause(2500);
  });
  CWebClient client;
  client.m_nRecvTimeout = 300;
  std::string reply;
  auto began = std::chrono::steady_clock::now();
  EXPECT_FALSE(client.InetGet(server.Url(), reply));
  EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::milliseconds(2000));
}

#ifndef _WIN32
// Without the internet library the proxy comes from the environment, as
// for other programs here; the internet library reads the system's own.
TEST(InetGet, GoesThroughTheConfiguredProxy) {
  CLoopbackServer proxy([](CLoopbackPeer& peer) {
    peer.Send(Reply("200 OK", "Content-Length: 2\r\n", "ok"));
  });
  setenv("http_proxy", proxy.Url("/").c_str(), 1);
  CWebClient client;
  std::string reply;
  bool ok = client.InetGet("http://cdn.invalid:8080/command/check.do", reply);
  unsetenv("http_proxy");
  ASSERT_TRUE(ok);
  EXPECT_EQ(reply, "ok");
  EXPECT_EQ(proxy.Requests().at(0).rfind(
                "GET http://cdn.invalid:8080/command/check.do HTTP/1.1\r\n", 0), 0u);
}
#endif

}  // namespace
