#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <fstream>
#include <iterator>
#include <mutex>
#include <thread>
#ifdef _WIN32
#include <process.h>
#else
#include <unistd.h>
#endif

#include "FakeDesktop.h"
#include "app/AssistantApp.h"
#include "app/CdnListener.h"
#include "unit/app/ScopedAppData.h"

namespace {

using Result = CCdnMessageAssembler::Result;

const uint32_t kHostA = 0x0A000008;  // 10.0.0.8
const uint32_t kLoopback = 0x7F000001;

std::string LengthField(int32_t n) {
  uint32_t u = (uint32_t)n;
  return std::string{(char)(u & 0xFF), (char)((u >> 8) & 0xFF), (char)((u >> 16) & 0xFF),
                     (char)(u >> 24)};
}
std::string Message(const std::string& payload) {
  return LengthField((int32_t)payload.size()) + payload;
}

// A datagram and its arrival in milliseconds.
struct Part {
  Part(std::string b, int64_t t = 0) : bytes(std::move(b)), at(t) {}
  Part(const char* b) : bytes(b) {}
  std::string bytes;
  int64_t at = 0;
};
struct AssemblyCase {
  const char* name;
  std::vector<Part> datagrams;
  std::vector<Result> results;
  std::string payload;  // of the last datagram's complete message
};

TEST(CdnMessageAssemblerTest, CollectsMessagesByTheirLength) {
  const std::string twenty(20, 'x');
  const std::string good = R"({"msgid":0})";
  const std::string full(1020, 'y');
  const std::vector<AssemblyCase> cases = {
      {"20 + 24 bytes in one datagram", {LengthField(20) + twenty}, {Result::Complete}, twenty},
      {"10 of 24 bytes wait, the rest completes",
       {LengthField(20) + twenty.substr(0, 6), twenty.substr(6)},
       {Result::Incomplete, Result::Complete},
       twenty},
      {"length field split over datagrams",
       {LengthField(20).substr(0, 3), LengthField(20).substr(3) + twenty},
       {Result::Incomplete, Result::Complete},
       twenty},
      {"a message in three parts",
       {LengthField(20).substr(0, 1), LengthField(20).substr(1) + "abc", twenty.substr(3)},
       {Result::Incomplete, Result::Incomplete, Result::Complete},
       "abc" + twenty.substr(3)},
      {"bytes after the message are not part of it",
       {Message(good) + "trailing"}, {Result::Complete}, good},
      {"the next datagram completes with its first bytes, the rest is dropped",
       {LengthField(10) + "abc", "defghij" + Message(good)},
       {Result::Incomplete, Result::Complete},
       "abcdefghij"},
      {"after a completed message the next datagram starts afresh",
       {LengthField(10) + "abc", "defghijXYZ", Message(good)},
       {Result::Incomplete, Result::Complete, Result::Complete},
       good},
      {"an empty datagram neither ends nor breaks a message",
       {LengthField(5) + "ab", "", "cde"},
       {Result::Incomplete, Result::Incomplete, Result::Complete},
       "abcde"},
      {"an empty datagram alone is nothing", {""}, {Result::Discarded}, ""},
      {"a part within the gap continues the message",
       {LengthField(10) + "abc", {"defghij", CDN_PART_GAP_MS}},
       {Result::Incomplete, Result::Complete},
       "abcdefghij"},
      {"a stray part does not swallow a later announcement",
       {LengthField(600) + "{\"msgid\":0,", {Message(good), CDN_PART_GAP_MS + 1}},
       {Result::Incomplete, Result::Complete},
       good},
      {"empty payload", {LengthField(0)}, {Result::Complete}, ""},
      {"largest payload that fits", {LengthField(1020) + full}, {Result::Complete}, full},
      {"the largest message completed from a long second datagram",
       {LengthField(1020) + full.substr(0, 1000), std::string(1500, 'y')},
       {Result::Incomplete, Result::Complete},
       full},
      {"negative length, then a good message",
       {LengthField(-5) + "abc", Message(good)}, {Result::Discarded, Result::Complete}, good},
      {"length beyond the buffer, then a good message",
       {LengthField(1021) + "abc", Message(good)}, {Result::Discarded, Result::Complete}, good},
      {"huge length, then a good message",
       {LengthField(0x7FFFFFFF), Message(good)}, {Result::Discarded, Result::Complete}, good},
      {"a hostile length known only from the second datagram",
       {LengthField(-1).substr(0, 2), LengthField(-1).substr(2) + "xx", Message(good)},
       {Result::Incomplete, Result::Discarded, Result::Complete},
       good},
      {"an oversized datagram with a hostile length",
       {LengthField(5000) + std::string(3000, 'z'), Message(good)},
       {Result::Discarded, Result::Complete},
       good},
  };
  for (const AssemblyCase& c : cases) {
    SCOPED_TRACE(c.name);
    CCdnMessageAssembler assembler;
    ASSERT_EQ(c.datagrams.size(), c.results.size());
    for (size_t i = 0; i < c.datagrams.size(); ++i) {
      const Part& d = c.datagrams[i];
      EXPECT_EQ(c.results[i], assembler.Add(d.bytes.data(), (int)d.bytes.size(), d.at))
          << "datagram " << i;
    }
    if (c.results.back() == Result::Complete) {
      EXPECT_EQ(c.payload, std::string(assembler.Payload(), assembler.PayloadLength()));
    }
  }
}

TEST(CdnMessageAssemblerTest, EndlessPartsNeverOverrunTheBuffer) {
  CCdnMessageAssembler assembler;
  std::string head = LengthField(1020) + std::string(100, 'a');
  EXPECT_EQ(Result::Incomplete, assembler.Add(head.data(), (int)head.size(), 0));
  std::string part(100, 'b');
  for (int i = 0; i < 9; ++i)
    EXPECT_EQ(Result::Incomplete, assembler.Add(part.data(), 100, 0)) << i;
  // 1004 of 1024 bytes: the next part's first 20 bytes complete the message.
  EXPECT_EQ(Result::Complete, assembler.Add(part.data(), 100, 0));
  EXPECT_EQ(std::string(100, 'a') + std::string(920, 'b'),
            std::string(assembler.Payload(), assembler.PayloadLength()));
  std::string fresh = Message("{}");
  EXPECT_EQ(Result::Complete, assembler.Add(fresh.data(), (int)fresh.size(), 0));
  EXPECT_EQ("{}", std::string(assembler.Payload(), assembler.PayloadLength()));
}

// Messages handed to a handler, as the receive thread delivers them.
struct Received {
  std::mutex lock;
  std::condition_variable arrived;
  std::vector<std::string> payloads;
  std::vector<uint32_t> senders;
  int answer = 1;

  static int Handler(const char* payload, int length, uint32_t sender, uint16_t, void* user) {
    auto* self = static_cast<Received*>(user);
    std::lock_guard<std::mutex> hold(self->lock);
    self->payloads.emplace_back(payload, length);
    self->senders.push_back(sender);
    self->arrived.notify_all();
    return self->answer;
  }
  bool WaitFor(size_t count) {
    std::unique_lock<std::mutex> hold(lock);
    return arrived.wait_for(hold, std::chrono::seconds(5),
                            [&] { return payloads.size() >= count; });
  }
};

template <typename Predicate>
bool WaitUntil(Predicate done) {
  for (int i = 0; i < 500 && !done(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  return done();
}

// A sender on a loopback address of its own, so that it is not this
// machine's own address.
class UdpSender {
 public:
  explicit UdpSender(uint32_t from) {
    m_socket = platform::OpenUdpSocket();
    uint16_t bound = 0;
    m_bBound = platform::BindUdp(m_socket, 0, bound, from);
  }
  ~UdpSender() { platform::CloseSocket(m_socket); }
  bool Bound() const { return m_bBound; }
  // The sender that a receiver on loopback sees for this socket.
  uint32_t SeenAs() {
    platform::SocketHandle receiver = platform::OpenUdpSocket();
    uint16_t port = 0;
    uint32_t seen = 0;
    uint16_t seenPort = 0;
    char byte;
    if (platform::BindUdp(receiver, 0, port, kLoopback)) {
      Send("?", port);
      platform::RecvFrom(receiver, &byte, 1, seen, seenPort);
    }
    platform::CloseSocket(receiver);
    return seen;
  }
  void Send(const std::string& bytes, uint16_t port) {
    ASSERT_EQ((int)bytes.size(),
              platform::SendTo(m_socket, bytes.data(), (int)bytes.size(), kLoopback, port));
  }

 private:
  platform::SocketHandle m_socket;
  bool m_bBound = false;
};

uint32_t OtherThan(uint32_t own) { return own == 0x7F000002 ? 0x7F000003 : 0x7F000002; }

uint32_t ParseDotted(const std::string& text) {
  unsigned a, b, c, d;
  if (sscanf(text.c_str(), "%u.%u.%u.%u", &a, &b, &c, &d) != 4) return 0;
  return a << 24 | b << 16 | c << 8 | d;
}

// Some systems (Wine) give every loopback datagram the machine's own
// address, whatever the sender bound: then no other host can be played.
#define SKIP_UNLESS_OTHER_HOST(sender)                                        \
  if ((sender).SeenAs() == ownAddress) GTEST_SKIP() << "no second address on loopback here"

class CdnListenerUdpTest : public testing::Test {
 protected:
  void SetUp() override {
    platform::StartupSocketLibrary();
    listener.Configure(0, &Received::Handler, &received);
    ownAddress = ParseDotted(listener.LocalIp());
    ASSERT_TRUE(listener.Start());
    ASSERT_TRUE(WaitUntil([&] { return listener.BoundPort() != 0; }));
  }
  Received received;
  CCdnListener listener;
  uint32_t ownAddress = 0;
};

TEST_F(CdnListenerUdpTest, HostileLengthsAreDiscardedAndListeningGoesOn) {
  UdpSender other(OtherThan(ownAddress));
  ASSERT_TRUE(other.Bound());
  SKIP_UNLESS_OTHER_HOST(other);
  other.Send(LengthField(-1) + "{}", listener.BoundPort());
  other.Send(LengthField(5000) + std::string(1200, 'z'), listener.BoundPort());
  other.Send(std::string(), listener.BoundPort());  // an empty datagram ends nothing
  other.Send(Message(R"({"msgid":1})"), listener.BoundPort());
  ASSERT_TRUE(received.WaitFor(1));
  EXPECT_EQ(std::vector<std::string>{R"({"msgid":1})"}, received.payloads);
  EXPECT_EQ(OtherThan(ownAddress), received.senders[0]);
  EXPECT_TRUE(listener.IsReceiving());
}

TEST_F(CdnListenerUdpTest, AMessageSplitOverDatagramsOfTwoSendersArrivesOnce) {
  UdpSender first(OtherThan(ownAddress)), second(0x7F000004);
  ASSERT_TRUE(first.Bound() && second.Bound());
  SKIP_UNLESS_OTHER_HOST(first);
  const std::string twenty = "0123456789abcdefghij";
  first.Send(LengthField(20) + twenty.substr(0, 6), listener.BoundPort());
  second.Send(twenty.substr(6) + "not part of it", listener.BoundPort());
  first.Send(Message("next"), listener.BoundPort());
  ASSERT_TRUE(received.WaitFor(2));
  EXPECT_EQ((std::vector<std::string>{twenty, "next"}), received.payloads);
  EXPECT_EQ(0x7F000004u, received.senders[0]);  // the datagram that completed it
}

TEST_F(CdnListenerUdpTest, OwnAddressIsIgnored) {
  if (ownAddress >> 24 != 127) GTEST_SKIP() << "this machine's name is not on loopback";
  UdpSender own(ownAddress), other(OtherThan(ownAddress));
  ASSERT_TRUE(own.Bound() && other.Bound());
  SKIP_UNLESS_OTHER_HOST(other);
  own.Send(Message("own"), listener.BoundPort());
  other.Send(Message("other"), listener.BoundPort());
  ASSERT_TRUE(received.WaitFor(1));
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(std::vector<std::string>{"other"}, received.payloads);
}

TEST_F(CdnListenerUdpTest, HandlerAnsweringZeroEndsTheThread) {
  received.answer = 0;
  UdpSender other(OtherThan(ownAddress));
  SKIP_UNLESS_OTHER_HOST(other);
  other.Send(Message("{}"), listener.BoundPort());
  ASSERT_TRUE(received.WaitFor(1));
  EXPECT_TRUE(WaitUntil([&] { return !listener.IsReceiving(); }));
  EXPECT_TRUE(listener.IsRunning());  // until the toggle stops it
  EXPECT_TRUE(listener.Stop());
  EXPECT_FALSE(listener.IsRunning());
}

TEST_F(CdnListenerUdpTest, StopWakesTheBlockedThread) {
  EXPECT_TRUE(listener.Stop());
  EXPECT_FALSE(listener.IsRunning());
  EXPECT_FALSE(listener.IsReceiving());
}

TEST(CdnListenerTest, SecondListenerOnABoundPortEndsQuietly) {
  platform::StartupSocketLibrary();
  Received first, second;
  CCdnListener a, b;
  a.Configure(0, &Received::Handler, &first);
  ASSERT_TRUE(a.Start());
  ASSERT_TRUE(WaitUntil([&] { return a.BoundPort() != 0; }));
  b.Configure(a.BoundPort(), &Received::Handler, &second);
  EXPECT_TRUE(b.Start());
  EXPECT_TRUE(WaitUntil([&] { return !b.IsReceiving(); }));
  EXPECT_TRUE(a.IsReceiving());
}

// The application with its listener on a free port.
class ListeningApp : public CAssistantApp {
 public:
  using CAssistantApp::CAssistantApp;
  using CAssistantApp::StartCdnListener;
};

class CdnAnnouncementTest : public testing::Test {
 protected:
  CdnAnnouncementTest() : appData("cdn") {
    // A block of this test's own: test programs run side by side.
    static int counter = 0;
    services.sharedBlockName =
        "velmora cdn test " + std::to_string(getpid()) + "-" + std::to_string(++counter);
    services.cdnPort = 0;
    platform::StartupSocketLibrary();  // start-up's first step, not run here
  }
  std::string ReadLog() {
    std::ifstream in(appData.Native("VelmoraURL.log"), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  int Handle(ListeningApp& app, const std::string& payload) {
    return CAssistantApp::OnCdnBroadcast(payload.data(), (int)payload.size(), kHostA, 5000, &app);
  }
  ScopedAppData appData;
  FakeDesktop desktop;
  AppServices services;
};

TEST_F(CdnAnnouncementTest, OnlyAUsableAnnouncementSetsTheServer) {
  struct Case {
    std::string payload;
    const char* stored;
  };
  const std::string tooLong(CDN_SERVER_SIZE, '9');
  const Case cases[] = {
      {R"({"msgid":0,"server":")" + tooLong + R"("})", ""},
      {R"({"msgid":1,"cmdid":0,"server":"10.0.0.8:8000"})", ""},
      {R"(not json at all)", ""},
      {R"({"msgid":0,"server":"10.0.0.8/evil"})", ""},
      {R"({"msgid":0,"server":"a b:80"})", ""},
      {R"({"msgid":0,"server":"user@10.0.0.8"})", ""},
      {R"({"msgid":0,"server":""})", ""},
      {R"({"msgid":"0","cmdid":"3","server":"cdn.school:8080"})", "cdn.school:8080"},
      {R"({"msgid":0,"cmdid":7,"server":"10.0.0.8:8000"})", "10.0.0.8:8000"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.payload.substr(0, 60));
    ListeningApp app(desktop, services);
    StoreCdnServer(app.Shared(), "");
    EXPECT_EQ(1, Handle(app, c.payload));
    EXPECT_EQ(c.stored, ReadCdnServer(app.Shared()));
    // Learnt from the LAN alone: not trusted with programs.
    if (*c.stored) {
      EXPECT_TRUE(IsCdnServerAnnounced(app.Shared()));
    }
  }
  // One entry per server learnt, without a time.
  EXPECT_EQ("接收到CDN Server的广播: cdn.school:8080\r\n"
            "接收到CDN Server的广播: 10.0.0.8:8000\r\n",
            ReadLog());
}

TEST_F(CdnAnnouncementTest, AServerTheUserTypedIsNotReplacedByABroadcast) {
  struct Case {
    bool announced;  // how the server in the block was learnt
    const char* after;
  };
  const Case cases[] = {{false, "10.1.0.8:8000"}, {true, "10.0.0.8:8000"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.announced ? "announced before" : "typed by the user");
    ListeningApp app(desktop, services);
    if (c.announced)
      StoreAnnouncedCdnServer(app.Shared(), "10.1.0.8:8000");
    else
      StoreCdnServer(app.Shared(), "10.1.0.8:8000");
    EXPECT_EQ(1, Handle(app, R"({"msgid":0,"server":"10.0.0.8:8000"})"));
    EXPECT_EQ(c.after, ReadCdnServer(app.Shared()));
    EXPECT_EQ(c.announced, IsCdnServerAnnounced(app.Shared()));
  }
  EXPECT_EQ("接收到CDN Server的广播: 10.0.0.8:8000\r\n", ReadLog());
}

TEST_F(CdnAnnouncementTest, FirstAnnouncementOverUdpStopsTheListener) {
  ListeningApp app(desktop, services);
  StoreCdnServer(app.Shared(), "");
  app.StartCdnListener();
  ASSERT_TRUE(app.m_pCdnListener);
  CCdnListener& listener = *app.m_pCdnListener;
  ASSERT_TRUE(WaitUntil([&] { return listener.BoundPort() != 0; }));
  UdpSender other(OtherThan(ParseDotted(listener.LocalIp())));
  uint32_t ownAddress = ParseDotted(listener.LocalIp());
  SKIP_UNLESS_OTHER_HOST(other);
  other.Send(Message(R"({"msgid":1,"server":"10.9.9.9:1"})"), listener.BoundPort());
  other.Send(Message(R"({"msgid":0,"server":"10.0.0.8:8000"})"), listener.BoundPort());
  EXPECT_TRUE(WaitUntil([&] { return !listener.IsReceiving(); }));
  EXPECT_EQ("10.0.0.8:8000", ReadCdnServer(app.Shared()));
}

}  // namespace
