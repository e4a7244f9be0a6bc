#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

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

TEST(PlatformFetch, ReportsTheSizeOnlyForAWholeBoundedReply) {
  const std::string body(40000, 'b');
  const struct {
    const char* name;
    std::string reply;
    int64_t maxBytes;
    bool ok;
  } cases[] = {
      {"whole", Reply("200 OK", "Content-Length: 40000\r\n", body), 100000, true},
      {"extra bytes ignored", Reply("200 OK", "Content-Length: 40000\r\n", body + "junk"), 100000,
       true},
      {"no length", Reply("200 OK", "", body), 100000, false},
      {"over the cap", Reply("200 OK", "Content-Length: 40000\r\n", body), 39999, false},
      {"cut short", Reply("200 OK", "Content-Length: 50000\r\n", body), 100000, false},
      {"error page", Reply("404 Not Found", "Content-Length: 5\r\n", "nope!"), 100000, false},
      {"empty", Reply("200 OK", "Content-Length: 0\r\n", ""), 100000, false},
  };
  for (const auto& c : cases) {
    CLoopbackServer server([&](CLoopbackPeer& peer) { peer.Send(c.reply); });
    std::string part = "/tmp/cdn-fetch-" + std::to_string(getpid()) + ".part";
    unlink(part.c_str());
    std::atomic<bool> stop{false};
    int64_t size = 0;
    PlatformFetchSettings settings{"127.0.0.1", server.Port(), 5};
    EXPECT_EQ(FetchFromPlatform(settings, "100001", part, c.maxBytes, stop, size), c.ok) << c.name;
    if (c.ok) {
      EXPECT_EQ(size, 40000) << c.name;
      EXPECT_EQ(ReadAll(part), body) << c.name;
    }
    unlink(part.c_str());
    auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u) << c.name;
    EXPECT_EQ(requests[0].substr(0, 49), "GET /file/downLoad?ft=1&u=2&fid=100001 HTTP/1.1\r\n")
        << c.name;
  }
}

}  // namespace
