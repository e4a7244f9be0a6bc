#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "cdn/CdnService.h"
#include "cdn/Announcer.h"
#include "cdn/HttpFront.h"
#include "net/Json.h"

namespace {

// A platform that hands out `size` bytes per fetch once released, and counts.
struct FakePlatform {
  std::mutex lock;
  std::vector<std::string> fetched;
  std::atomic<bool> release{true};
  bool fail = false;
  int64_t size = 64;

  CdnFetchFunction Function() {
    return [this](const CdnFetchRequest& request, int64_t& out) {
      {
        std::lock_guard<std::mutex> guard(lock);
        fetched.push_back(request.fid);
      }
      while (!release && !*request.stop) std::this_thread::sleep_for(std::chrono::milliseconds(2));
      if (fail || *request.stop || size > request.maxBytes || !request.reserve(size)) return false;
      std::ofstream(request.partPath, std::ios::binary) << std::string((size_t)size, 'p');
      out = size;
      return true;
    };
  }
  size_t Count() {
    std::lock_guard<std::mutex> guard(lock);
    return fetched.size();
  }
};

class CdnServiceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/cdn-service-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    m_dir = pattern;
    m_store = std::make_unique<CCacheStore>(m_dir, 1000);
    std::string error;
    ASSERT_TRUE(m_store->Open(error));
  }
  void TearDown() override { std::system(("rm -rf " + m_dir).c_str()); }
  std::unique_ptr<CCacheStore> m_store;
  std::string m_dir;
};

TEST_F(CdnServiceTest, ManyStudentsAskingStartOneFetchAndTheNextLookUpFindsIt) {
  FakePlatform platform;
  platform.release = false;
  CCdnService service(*m_store, platform.Function(), {});
  std::vector<std::thread> students;
  std::atomic<int> answeredHeld{0};
  for (int i = 0; i < 40; ++i) {
    students.emplace_back([&] { answeredHeld += service.Find("100001").ret == CDN_RET_HELD; });
  }
  for (auto& s : students) s.join();
  EXPECT_EQ(answeredHeld, 0);
  platform.release = true;
  service.WaitIdle();
  EXPECT_EQ(platform.Count(), 1u);
  CdnFindResult found = service.Find("100001");
  EXPECT_EQ(found.ret, CDN_RET_HELD);
  EXPECT_EQ(found.path, "/files/100001");
  EXPECT_EQ(found.size, 64);
  EXPECT_EQ(platform.Count(), 1u);
}

TEST_F(CdnServiceTest, TheFirstLookUpWaitsForAQuickFetchButNotForever) {
  FakePlatform platform;
  platform.release = false;
  CCdnService service(*m_store, platform.Function(), {4, 30, 300});
  std::thread releaser([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    platform.release = true;
  });
  EXPECT_EQ(service.Find("quick", true).ret, CDN_RET_HELD);
  releaser.join();

  platform.release = false;
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(service.Find("stalled", true).ret, CDN_RET_FETCHING);
  auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_GE(waited, std::chrono::milliseconds(250));
  EXPECT_LT(waited, std::chrono::seconds(5));
  EXPECT_EQ(service.Find("stalled").ret, CDN_RET_FETCHING);  // no wait without asking for it
  platform.release = true;
  service.WaitIdle();
  EXPECT_EQ(platform.Count(), 2u);
}

TEST_F(CdnServiceTest, UnsafeIdsNeverReachTheCacheOrThePlatform) {
  FakePlatform platform;
  CCdnService service(*m_store, platform.Function(), {});
  for (const char* fid : {"", "../x", "a/b", "1&ft=3", "..", ".x"}) {
    EXPECT_EQ(service.Find(fid).ret, CDN_RET_BAD_FID) << fid;
  }
  service.WaitIdle();
  EXPECT_EQ(platform.Count(), 0u);
}

TEST_F(CdnServiceTest, AFailedFetchIsNotRetriedUntilTheBackOffHasPassed) {
  FakePlatform platform;
  platform.fail = true;
  CCdnService patient(*m_store, platform.Function(), {4, 3600});
  EXPECT_EQ(patient.Find("missing").ret, CDN_RET_FETCHING);
  patient.WaitIdle();
  EXPECT_EQ(patient.Find("missing").ret, CDN_RET_UNAVAILABLE);
  EXPECT_EQ(platform.Count(), 1u);
  struct stat info{};
  EXPECT_NE(stat(m_store->PartPath("missing").c_str(), &info), 0);

  CCdnService eager(*m_store, platform.Function(), {4, 0});
  eager.Find("missing");
  eager.WaitIdle();
  platform.fail = false;
  EXPECT_EQ(eager.Find("missing").ret, CDN_RET_FETCHING);
  eager.WaitIdle();
  EXPECT_EQ(eager.Find("missing").ret, CDN_RET_HELD);
}

TEST_F(CdnServiceTest, FetchesAtOnceAreBoundedAndAFileOverTheCapIsNotKept) {
  FakePlatform platform;
  platform.release = false;
  CCdnService service(*m_store, platform.Function(), {3, 3600});
  for (const char* fid : {"a", "b", "c", "d"})
    service.Find(fid, false, std::string("10.0.0.") + fid);
  // Two for files one machine asked for; the third slot is kept for a shared file.
  EXPECT_EQ(service.RunningFetches(), 2);
  service.Find("d", false, "10.0.0.99");
  EXPECT_EQ(service.RunningFetches(), 3);
  service.Find("e", false, "10.0.0.98");
  service.Find("e", false, "10.0.0.97");
  EXPECT_EQ(service.RunningFetches(), 3);
  platform.release = true;
  service.WaitIdle();
  EXPECT_EQ(platform.Count(), 3u);

  platform.size = 1001;
  service.Find("huge");
  service.WaitIdle();
  EXPECT_EQ(service.Find("huge").ret, CDN_RET_UNAVAILABLE);
}

TEST_F(CdnServiceTest, AMachineAskingForManyFilesHoldsOneFetchAndNeverDelaysOthers) {
  FakePlatform platform;
  platform.release = false;
  CCdnService service(*m_store, platform.Function(), {4, 3600});
  for (int i = 0; i < 100; ++i) service.Find("flood" + std::to_string(i), false, "10.0.0.66");
  EXPECT_EQ(service.RunningFetches(), 1);
  const struct { const char* fid; const char* client; int running; } asks[] = {
      {"b1", "10.0.0.2", 2},
      {"b2", "10.0.0.2", 2},       // the same machine's second file waits
      {"c1", "10.0.0.3", 3},
      {"d1", "10.0.0.4", 3},       // the last slot is kept for a shared file
      {"flood7", "10.0.0.5", 4},   // asked by two machines: it gets the kept slot
      {"e1", "10.0.0.6", 4},
  };
  for (const auto& ask : asks) {
    EXPECT_EQ(service.Find(ask.fid, false, ask.client).ret, CDN_RET_FETCHING) << ask.fid;
    EXPECT_EQ(service.RunningFetches(), ask.running) << ask.fid;
  }
  platform.release = true;
  service.WaitIdle();
  EXPECT_EQ(platform.Count(), 4u);
  EXPECT_EQ(service.Find("flood7").ret, CDN_RET_HELD);
  EXPECT_EQ(service.Find("c1").ret, CDN_RET_HELD);
  // With its fetch done, the flooding machine may start its next one.
  EXPECT_EQ(service.Find("flood8", false, "10.0.0.66").ret, CDN_RET_FETCHING);
  service.WaitIdle();
  EXPECT_EQ(service.Find("flood8").ret, CDN_RET_HELD);
}

TEST_F(CdnServiceTest, AThreadThatCannotStartIsAnsweredAsNotHeldAndTheServiceGoesOn) {
  FakePlatform platform;
  std::atomic<bool> refuse{true};
  CdnThreadStarter starter = [&](std::function<void()> body) {
    if (refuse)
      throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
    return std::thread(std::move(body));
  };
  CCdnService service(*m_store, platform.Function(), {4, 3600}, starter);
  EXPECT_EQ(service.Find("100001", false, "10.0.0.2").ret, CDN_RET_FETCHING);
  EXPECT_EQ(service.RunningFetches(), 0);
  refuse = false;
  EXPECT_EQ(service.Find("100001", false, "10.0.0.2").ret, CDN_RET_FETCHING);
  service.WaitIdle();
  EXPECT_EQ(service.Find("100001").ret, CDN_RET_HELD);
  EXPECT_EQ(platform.Count(), 1u);
}

TEST_F(CdnServiceTest, AFullBackOffTableForgetsOnlyItsOldestFailure) {
  FakePlatform platform;
  platform.fail = true;
  CCdnService service(*m_store, platform.Function(), {4, 3600});
  const int bound = 4096;
  for (int i = 0; i <= bound; ++i) {
    service.Find("gone" + std::to_string(i));
    service.WaitIdle();
  }
  ASSERT_EQ(platform.Count(), (size_t)bound + 1);
  EXPECT_EQ(service.Find("gone1").ret, CDN_RET_UNAVAILABLE);
  EXPECT_EQ(service.Find("gone" + std::to_string(bound)).ret, CDN_RET_UNAVAILABLE);
  EXPECT_EQ(service.Find("gone0").ret, CDN_RET_FETCHING);  // forgotten: asked again
  service.WaitIdle();
  EXPECT_EQ(platform.Count(), (size_t)bound + 2);
}

TEST_F(CdnServiceTest, StopReturnsPromptlyWhileThePlatformIsSilent) {
  // A platform that takes the connection and never answers.
  int silent = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(bind(silent, (sockaddr*)&address, sizeof address), 0);
  ASSERT_EQ(listen(silent, 4), 0);
  socklen_t length = sizeof address;
  getsockname(silent, (sockaddr*)&address, &length);
  PlatformFetchSettings settings;
  settings.host = "127.0.0.1";
  settings.port = ntohs(address.sin_port);
  settings.timeoutSeconds = 600;
  CdnFetchFunction fetch = [settings](const CdnFetchRequest& request, int64_t& size) {
    return FetchFromPlatform(settings, request, size);
  };
  auto service = std::make_unique<CCdnService>(*m_store, fetch, CdnServiceLimits{});
  service->Find("silent", false, "10.0.0.2");
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  ASSERT_EQ(service->RunningFetches(), 1);
  const auto began = std::chrono::steady_clock::now();
  service->Stop();
  EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::seconds(3));
  service.reset();
  close(silent);
  struct stat info{};
  EXPECT_NE(stat(m_store->PartPath("silent").c_str(), &info), 0);
}

TEST_F(CdnServiceTest, AStopNeedNotWaitForAFetchThatCannotNoticeIt) {
  std::atomic<bool> started{false};
  // A fetch blocked where no stop reaches it (a name look-up).
  CdnFetchFunction deaf = [&](const CdnFetchRequest&, int64_t&) {
    started = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    return false;
  };
  CCdnService service(*m_store, deaf, {});
  service.Find("deaf", false, "10.0.0.2");
  while (!started) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  const auto began = std::chrono::steady_clock::now();
  EXPECT_FALSE(service.StopWithin(200));
  EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::milliseconds(1000));
  EXPECT_TRUE(service.StopWithin(5000));
  EXPECT_EQ(service.RunningFetches(), 0);
}

TEST_F(CdnServiceTest, StopEndsAStalledFetchWithoutKeepingIt) {
  FakePlatform platform;
  platform.release = false;
  CCdnService service(*m_store, platform.Function(), {});
  service.Find("slow");
  service.Stop();
  EXPECT_EQ(service.RunningFetches(), 0);
  int64_t size = 0;
  EXPECT_FALSE(m_store->Lookup("slow", size));
}

// A client of the served socket; every receive waits at most 100 ms.
int ConnectTo(int port) {
  int client = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons((uint16_t)port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  timeval wait{0, 100000};
  setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
  return connect(client, (sockaddr*)&address, sizeof address) == 0 ? client : -1;
}

TEST_F(CdnServiceTest, AHeadThatTricklesInIsCutOffAndOthersAreStillServed) {
  FakePlatform platform;
  CCdnService service(*m_store, platform.Function(), {});
  CHttpFront front;
  std::string error;
  ASSERT_TRUE(front.Listen("127.0.0.1", 0, error)) << error;
  std::atomic<bool> stop{false};
  std::thread serving([&] { front.Serve(service, stop); });

  int slow = ConnectTo(front.Port());
  ASSERT_GE(slow, 0);
  const std::string line = "GET /command/check.do HTTP/1.1\r\n";
  send(slow, line.data(), line.size(), MSG_NOSIGNAL);
  const auto began = std::chrono::steady_clock::now();
  bool closed = false;
  char byte;
  // One byte of a header every 100 ms, for far longer than the head may take.
  while (!closed && std::chrono::steady_clock::now() - began < std::chrono::seconds(10)) {
    const ssize_t got = send(slow, "X", 1, MSG_NOSIGNAL) == 1 ? recv(slow, &byte, 1, 0) : 0;
    closed = got == 0 || (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK);
  }
  const auto held = std::chrono::steady_clock::now() - began;
  close(slow);
  EXPECT_TRUE(closed);
  EXPECT_LT(held, std::chrono::milliseconds(HTTP_REQUEST_HEAD_MS + 2000));

  int quick = ConnectTo(front.Port());
  ASSERT_GE(quick, 0);
  const std::string head = "GET /command/check.do HTTP/1.1\r\n\r\n";
  send(quick, head.data(), head.size(), MSG_NOSIGNAL);
  std::string reply;
  char buffer[512];
  for (int tries = 0; tries < 50; ++tries) {
    ssize_t n = recv(quick, buffer, sizeof buffer, 0);
    if (n == 0) break;
    if (n > 0) reply.append(buffer, (size_t)n);
  }
  close(quick);
  EXPECT_EQ(reply.substr(0, 17), "HTTP/1.1 200 OK\r\n");
  EXPECT_EQ(reply.substr(reply.size() - 9), "{\"ret\":0}");
  stop = true;
  serving.join();
}

// The look-up reply and the announcement, read the way the assistant reads them.
TEST(CdnReplies, ReadBackByTheProjectsJsonReader) {
  CdnFindResult held{CDN_RET_HELD, "/files/100001", 3000000000LL};
  CJsonDocument doc;
  ASSERT_TRUE(doc.Parse(FormatFindReply(held)));
  EXPECT_EQ(doc.GetString("ret"), "0");
  EXPECT_EQ(doc.GetString("path"), "/files/100001");
  EXPECT_EQ(doc.GetString("size"), "3000000000");
  ASSERT_TRUE(doc.Parse(FormatFindReply({CDN_RET_FETCHING, "", 0})));
  EXPECT_EQ(doc.GetString("ret"), "1");
  EXPECT_EQ(doc.Find("path"), nullptr);

  std::string datagram = BuildAnnouncement("10.0.0.8:8000");
  ASSERT_GE(datagram.size(), 4u);
  uint32_t length = (uint8_t)datagram[0] | (uint8_t)datagram[1] << 8 |
                    (uint8_t)datagram[2] << 16 | (uint32_t)(uint8_t)datagram[3] << 24;
  EXPECT_EQ(length + 4, datagram.size());
  ASSERT_TRUE(doc.Parse(datagram.substr(4)));
  EXPECT_EQ(doc.GetString("msgid"), "0");
  EXPECT_EQ(doc.GetString("server"), "10.0.0.8:8000");
  EXPECT_NE(doc.Find("cmdid"), nullptr);
}

TEST(CdnHttp, RequestHeadsAndRoutes) {
  const struct {
    const char* head;
    bool parses;
    int status;
    const char* body;
  } cases[] = {
      {"GET /command/check.do HTTP/1.0\r\nHost: x\r\n\r\n", true, 200, "{\"ret\":0}"},
      {"GET /command/check.do?x=1 HTTP/1.1\r\n\r\n", true, 200, "{\"ret\":0}"},
      {"HEAD /command/check.do HTTP/1.1\r\n\r\n", true, 200, "{\"ret\":0}"},
      {"POST /command/check.do HTTP/1.1\r\n\r\n", true, 405, nullptr},
      {"GET /command/other.do HTTP/1.1\r\n\r\n", true, 404, nullptr},
      {"GET /command/find.do?fid=..%2Fetc HTTP/1.1\r\n\r\n", true, 200, "{\"ret\":2}"},
      {"GET /command/find.do?fid=a%00b HTTP/1.1\r\n\r\n", true, 200, "{\"ret\":2}"},
      {"GET /command/find.do HTTP/1.1\r\n\r\n", true, 200, "{\"ret\":2}"},
      {"GET /command/find.do?x=1&fid= HTTP/1.1\r\n\r\n", true, 200, "{\"ret\":2}"},
      {"GET command/check.do HTTP/1.1\r\n\r\n", false, 0, nullptr},
      {"GET /command/check.do\r\n\r\n", false, 0, nullptr},
      {" /x HTTP/1.1\r\n\r\n", false, 0, nullptr},
      {"", false, 0, nullptr},
  };
  char pattern[] = "/tmp/cdn-http-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  CCacheStore store(pattern, 1000);
  std::string error;
  ASSERT_TRUE(store.Open(error));
  FakePlatform platform;
  CCdnService service(store, platform.Function(), {});
  for (const auto& c : cases) {
    HttpRequestHead request;
    ASSERT_EQ(ParseRequestHead(c.head, request), c.parses) << c.head;
    if (!c.parses) continue;
    HttpReply reply = RouteRequest(service, request);
    EXPECT_EQ(reply.status, c.status) << c.head;
    if (c.body) {
      EXPECT_EQ(reply.body, c.body) << c.head;
    }
  }
  EXPECT_EQ(platform.Count(), 0u);
  std::system((std::string("rm -rf ") + pattern).c_str());
}

TEST(CdnHttp, TheClientIsTheAddressNginxPassesAlong) {
  const struct { const char* head; const char* client;
  } cases[] = {
      {"GET /command/find.do?fid=1 HTTP/1.0\r\nX-Real-IP: 10.0.0.7\r\n\r\n", "10.0.0.7"},
      {"GET /command/find.do?fid=1 HTTP/1.0\r\nHost: x\r\nx-real-ip:  10.0.0.8 \r\n\r\n",
       "10.0.0.8"},
      {"GET /command/find.do?fid=1 HTTP/1.0\r\nX-Real-IP: fd00::5\r\n\r\n", "fd00::5"},
      {"GET /command/find.do?fid=1 HTTP/1.0\r\nX-Real-IP: evil\r\n\r\n", ""},
      {"GET /command/find.do?fid=1 HTTP/1.0\r\nX-Real-IPs: 10.0.0.9\r\n\r\n", ""},
      {"GET /command/find.do?fid=1 HTTP/1.0\r\nX-Forwarded: X-Real-IP: 1.2.3.4\r\n\r\n", ""},
      {"GET /command/find.do?fid=1 HTTP/1.0\r\n\r\n", ""},
  };
  for (const auto& c : cases) {
    HttpRequestHead request;
    ASSERT_TRUE(ParseRequestHead(c.head, request)) << c.head;
    EXPECT_EQ(request.client, c.client) << c.head;
  }
}

// One request over a real connection; the whole reply.
std::string Exchange(int port, const std::string& head) {
  int client = ConnectTo(port);
  if (client < 0) return "";
  send(client, head.data(), head.size(), MSG_NOSIGNAL);
  std::string reply;
  char buffer[4096];
  for (int tries = 0; tries < 50; ++tries) {
    ssize_t n = recv(client, buffer, sizeof buffer, 0);
    if (n == 0) break;
    if (n > 0) reply.append(buffer, (size_t)n);
  }
  close(client);
  return reply;
}

// Remembers who asked.
struct AskLog : ICdnObserver {
  std::mutex lock;
  std::vector<std::string> clients;
  void Answered(const std::string& client, const CdnFindResult&) override {
    std::lock_guard<std::mutex> guard(lock);
    clients.push_back(client);
  }
  void Fetched(int64_t) override {}
};

TEST_F(CdnServiceTest, TheFrontNamesTheClientServesMetricsAndSurvivesWithoutThreads) {
  FakePlatform platform;
  AskLog asks;  // outlives the service: its fetch threads report to it until they end
  CCdnService service(*m_store, platform.Function(), {});
  service.SetObserver(&asks);
  CHttpFront front([] { return std::string("velmora_cdn_files 3\n"); },
                   [](std::function<void()>) -> std::thread {
                     throw std::system_error(
                         std::make_error_code(std::errc::resource_unavailable_try_again));
                   });
  std::string error;
  ASSERT_TRUE(front.Listen("127.0.0.1", 0, error)) << error;
  std::atomic<bool> stop{false};
  std::thread serving([&] { front.Serve(service, stop); });

  std::string reply = Exchange(front.Port(), "GET /command/metrics HTTP/1.1\r\n\r\n");
  EXPECT_EQ(reply.substr(0, 17), "HTTP/1.1 200 OK\r\n");
  EXPECT_NE(reply.find("Content-Type: text/plain; version=0.0.4\r\n"), std::string::npos);
  EXPECT_EQ(reply.substr(reply.size() - 20), "velmora_cdn_files 3\n");
  Exchange(front.Port(), "GET /command/find.do?fid=1 HTTP/1.1\r\nX-Real-IP: 10.0.0.7\r\n\r\n");
  reply = Exchange(front.Port(), "GET /command/find.do?fid=2 HTTP/1.1\r\n\r\n");
  EXPECT_EQ(reply.substr(reply.size() - 9), "{\"ret\":1}");
  stop = true;
  serving.join();
  ASSERT_EQ(asks.clients.size(), 2u);
  EXPECT_EQ(asks.clients[0], "10.0.0.7");
  EXPECT_EQ(asks.clients[1], "127.0.0.1");  // no header: the peer
  HttpRequestHead metrics;
  ASSERT_TRUE(ParseRequestHead("GET /command/metrics HTTP/1.1\r\n\r\n", metrics));
  EXPECT_EQ(RouteRequest(service, metrics).status, 404);  // not offered without a source
}

TEST(CdnHttp, QueryValuesAreFoundAndDecoded) {
  EXPECT_EQ(QueryValue("fid=100001", "fid"), "100001");
  EXPECT_EQ(QueryValue("a=1&fid=7&fid=8", "fid"), "7");
  EXPECT_EQ(QueryValue("xfid=1&fid=2", "fid"), "2");
  EXPECT_EQ(QueryValue("fid=a%2Fb", "fid"), "a/b");
  EXPECT_EQ(QueryValue("other=1", "fid"), "");
  EXPECT_EQ(QueryValue("", "fid"), "");
}

TEST(CdnHttp, ReplyHeadCarriesTheLengthAndHeadOmitsTheBody) {
  std::string full = FormatReply({200, "{\"ret\":0}"}, true);
  EXPECT_EQ(full.substr(0, 17), "HTTP/1.1 200 OK\r\n");
  EXPECT_NE(full.find("Content-Length: 9\r\n"), std::string::npos);
  EXPECT_EQ(full.substr(full.size() - 13), "\r\n\r\n{\"ret\":0}");
  std::string head = FormatReply({200, "{\"ret\":0}"}, false);
  EXPECT_EQ(head.substr(head.size() - 4), "\r\n\r\n");
  EXPECT_NE(head.find("Content-Length: 9\r\n"), std::string::npos);
}

}  // namespace
