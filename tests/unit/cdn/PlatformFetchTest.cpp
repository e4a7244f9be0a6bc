#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>

#include "cdn/PlatformFetch.h"
#include "unit/net/LoopbackServer.h"

namespace {

std::string ReadAll(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

bool Exists(const std::string& path) {
  struct stat info{};
  return stat(path.c_str(), &info) == 0;
}

TEST(PlatformFetch, OnlyAPlainWholeFileHeadIsAccepted) {
  const struct {
    const char* head;
    int64_t length;  // -1: refused
  } cases[] = {
      {"HTTP/1.1 200 OK\r\nContent-Length: 40000\r\n\r\n", 40000},
      {"HTTP/1.0 200 OK\r\ncontent-length:7\r\nContent-Encoding: identity\r\n\r\n", 7},
      {"HTTP/1.1 200 OK\r\nContent-Length: 7\r\nContent-Length: 7\r\n\r\n", 7},
      {"HTTP/1.1 206 Partial Content\r\nContent-Length: 7\r\nContent-Range: bytes 0-6/9\r\n\r\n",
       -1},
      {"HTTP/1.1 200 OK\r\nContent-Length: 7\r\nContent-Range: bytes 2-8/9\r\n\r\n", -1},
      {"HTTP/1.1 200 OK\r\nContent-Length: 7\r\nContent-Encoding: gzip\r\n\r\n", -1},
      {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n", -1},
      {"HTTP/1.1 200 OK\r\nContent-Length: 7\r\nTransfer-Encoding: chunked\r\n\r\n", -1},
      {"HTTP/1.1 200 OK\r\nContent-Length: 7\r\nContent-Length: 8\r\n\r\n", -1},
      {"HTTP/1.1 200 OK\r\nContent-Length: -7\r\n\r\n", -1},
      {"HTTP/1.1 200 OK\r\nContent-Length: 7x\r\n\r\n", -1},
      {"HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n", -1},
      {"HTTP/1.1 200 OK\r\n\r\n", -1},
      {"HTTP/1.1 302 Found\r\nContent-Length: 7\r\n\r\n", -1},
      {"HTTP/1.1 2000 OK\r\nContent-Length: 7\r\n\r\n", -1},
      {"HTTP/1.1 200\r\nContent-Length: 7\r\n\r\n", 7},  // no reason phrase
      {"HTTP/1.1 2001\r\nContent-Length: 7\r\n\r\n", -1},
      {"HTTP/1.1\r\nContent-Length: 7\r\n\r\n", -1},
      {"garbage\r\n\r\n", -1},
  };
  for (const auto& c : cases) {
    int64_t length = -1;
    std::string reason;
    EXPECT_EQ(AcceptPlatformReplyHead(c.head, length, reason), c.length >= 0) << c.head;
    if (c.length >= 0) {
      EXPECT_EQ(length, c.length) << c.head;
    } else {
      EXPECT_FALSE(reason.empty()) << c.head;
    }
  }
}

TEST(PlatformFetch, KeepsOnlyAWholeFileOfExactlyItsAnnouncedLength) {
  const std::string body(40000, 'b');
  const struct {
    const char* name;
    std::string reply;
    int64_t maxBytes;
    bool roomLeft;
    bool ok;
  } cases[] = {
      {"whole", Reply("200 OK", "Content-Length: 40000\r\n", body), 100000, true, true},
      {"longer body", Reply("200 OK", "Content-Length: 40000\r\n", body + "junk"), 100000, true,
       false},
      {"no length", Reply("200 OK", "", body), 100000, true, false},
      {"over the cap", Reply("200 OK", "Content-Length: 40000\r\n", body), 39999, true, false},
      {"no room", Reply("200 OK", "Content-Length: 40000\r\n", body), 100000, false, false},
      {"cut short", Reply("200 OK", "Content-Length: 50000\r\n", body), 100000, true, false},
      {"a range", Reply("206 Partial Content", "Content-Length: 40000\r\n", body), 100000, true,
       false},
      {"gzip", Reply("200 OK", "Content-Length: 40000\r\nContent-Encoding: gzip\r\n", body), 100000,
       true, false},
      {"chunked",
       Reply("200 OK", "Transfer-Encoding: chunked\r\n", "9c40\r\n" + body + "\r\n0\r\n\r\n"),
       100000, true, false},
      {"error page", Reply("404 Not Found", "Content-Length: 5\r\n", "nope!"), 100000, true, false},
  };
  for (const auto& c : cases) {
    CLoopbackServer server([&](CLoopbackPeer& peer) { peer.Send(c.reply); });
    std::string part = "/tmp/cdn-fetch-" + std::to_string(getpid()) + ".part";
    unlink(part.c_str());
    std::atomic<bool> stop{false};
    int64_t reserved = 0, size = 0;
    CdnFetchRequest request{"100001", part, c.maxBytes, &stop, [&](int64_t wanted) {
                              reserved = wanted;
                              return c.roomLeft;
                            }};
    PlatformFetchSettings settings{"127.0.0.1", server.Port(), 5};
    EXPECT_EQ(FetchFromPlatform(settings, request, size), c.ok) << c.name;
    if (c.ok) {
      EXPECT_EQ(size, 40000) << c.name;
      EXPECT_EQ(reserved, 40000) << c.name;
      EXPECT_EQ(ReadAll(part), body) << c.name;
    }
    if (!c.roomLeft) {
      EXPECT_FALSE(Exists(part)) << c.name << ": written without room";
    }
    unlink(part.c_str());
    auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u) << c.name;
    EXPECT_EQ(requests[0].substr(0, 49), "GET /file/downLoad?ft=1&u=2&fid=100001 HTTP/1.1\r\n")
        << c.name;
  }
}

TEST(PlatformFetch, BytesAfterTheAnnouncedLengthFailTheFetchEvenWhenTheyComeLate) {
  const std::string body(1000, 'b');
  CLoopbackServer server([&](CLoopbackPeer& peer) {
    peer.Send(Reply("200 OK", "Content-Length: 1000\r\n", body));
    peer.Pause(200);
    peer.Send("more");
  });
  std::string part = "/tmp/cdn-late-" + std::to_string(getpid()) + ".part";
  unlink(part.c_str());
  std::atomic<bool> stop{false};
  int64_t size = 0;
  CdnFetchRequest request{"100001", part, 1 << 20, &stop, [](int64_t) { return true; }};
  EXPECT_FALSE(FetchFromPlatform({"127.0.0.1", server.Port(), 5}, request, size));
  unlink(part.c_str());
}

TEST(PlatformFetch, APlatformThatTricklesIsGivenUpAtTheRateFloor) {
  CLoopbackServer server([](CLoopbackPeer& peer) {
    peer.Send(Reply("200 OK", "Content-Length: 100000\r\n", ""));
    for (int i = 0; i < 40; ++i) {
      peer.Send("x");  // well within the silence limit, far below the floor
      peer.Pause(100);
    }
  });
  std::string part = "/tmp/cdn-trickle-" + std::to_string(getpid()) + ".part";
  unlink(part.c_str());
  std::atomic<bool> stop{false};
  int64_t size = 0;
  CdnFetchRequest request{"100001", part, 1 << 20, &stop, [](int64_t) { return true; }};
  PlatformFetchSettings settings{"127.0.0.1", server.Port(), 1, 1000};
  const auto began = std::chrono::steady_clock::now();
  EXPECT_FALSE(FetchFromPlatform(settings, request, size));
  EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::milliseconds(2500));
  unlink(part.c_str());
}

}  // namespace
