#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "SegmentedDownloaderTestServer.h"
#include "platform/Sockets.h"
#include "StoreTestSupport.h"
#include "store/SegmentedDownloader.h"

// A caller frees what its notification uses once Finish has returned: no
// worker may run and no notification may come after that.

namespace {

using Clock = std::chrono::steady_clock;

struct FinishWatch {
  std::atomic<bool> finished{false};
  std::atomic<int> ended{0};
  std::atomic<int> late{0};  // notifications after Finish returned

  static void Proc(int64_t, int64_t, int kind, void* user) {
    auto* self = static_cast<FinishWatch*>(user);
    if (self->finished) ++self->late;
    if (kind == SDN_ALL_ENDED) ++self->ended;
  }
};

void WaitForProgress(CSegmentedDownloader& downloader) {
  for (int i = 0; i < 2000 && downloader.GetDone() == 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
}

}  // namespace

TEST(SegmentedDownloaderLifetime, NoWorkerOrNotificationOutlivesFinish) {
  const struct Case {
    const char* what;
    bool wait;
    int timeoutMs;
    int trickleAfter;  // -1: the server sends at full speed
    bool hold;         // the server never answers the ranges
    bool completes;
  } cases[] = {
      {"without waiting, mid-way", false, 0, 1000, false, false},
      {"time-out, mid-way", true, 20, 1000, false, false},
      {"time-out, silent server", true, 20, -1, true, false},
      {"without waiting, silent server", false, 0, -1, true, false},
      {"waiting for all of it", true, -1, -1, false, true},
  };
  ScratchDir dir;
  RangeServer server(std::string(200000, 'v'));
  int late = 0;
  for (int round = 0; round < 60; ++round) {
    const Case& c = cases[round % (sizeof cases / sizeof cases[0])];
    SCOPED_TRACE(std::string(c.what) + ", round " + std::to_string(round));
    server.trickleAfter = c.trickleAfter;
    server.holdRanges = c.hold;
    FinishWatch watch;
    {
      CSegmentedDownloader downloader;
      downloader.m_pfnNotify = &FinishWatch::Proc;
      downloader.m_pUser = &watch;
      const std::string name = "round" + std::to_string(round) + ".bin";
      ASSERT_TRUE(downloader.Start(server.Url(), dir.Path(), name.c_str(), 10));
      if (!c.hold) WaitForProgress(downloader);
      const Clock::time_point began = Clock::now();
      EXPECT_EQ(downloader.Finish(c.wait, c.timeoutMs), c.completes);
      watch.finished = true;
      // Stopping workers that wait on a silent server takes no receive
      // time-out (a minute); the bound leaves room for a loaded machine.
      EXPECT_LT(Clock::now() - began, std::chrono::seconds(10));
      EXPECT_FALSE(downloader.IsRunning());
    }  // a worker still alive would notify from the destructor's stop
    late += watch.late;
    EXPECT_EQ(watch.ended, 1);
  }
  server.holdRanges = false;
  EXPECT_EQ(late, 0);
}

// The download bar's pause and the program's exit stop the download from
// other threads than the one that starts it again.
TEST(SegmentedDownloaderLifetime, StopFromAnotherThreadWhileStartRebuildsTheRanges) {
  ScratchDir dir;
  const std::string content(30000, 's');
  RangeServer server(content);
  CSegmentedDownloader downloader;
  std::atomic<bool> stopping{true};
  std::thread stopper([&] {
    while (stopping) {
      downloader.StopAll();
      downloader.AnySegmentGaveUp();
      std::this_thread::yield();
    }
  });
  for (int round = 0; round < 30; ++round) {
    if (downloader.Start(server.Url(), dir.Path(), "stopped.bin", 10)) downloader.Finish(true, -1);
  }
  stopping = false;
  stopper.join();
  // Left alone, it resumes from what the stopped rounds kept and completes.
  ASSERT_TRUE(downloader.Start(server.Url(), dir.Path(), "stopped.bin", 10));
  EXPECT_TRUE(downloader.Finish(true, -1));
  EXPECT_EQ(ReadFileBytes(dir / "stopped.bin"), content);
}

// The download bar's pause stops the workers and then finishes, waiting for
// them. A worker still connecting when the stop came has no connection the
// stop could shut down; once connected to a silent server it must not hold
// the pause for its receive time-out (a minute).
TEST(SegmentedDownloaderLifetime, APauseWhileWorkersConnectReturnsPromptly) {
  ScratchDir dir;
  RangeServer server(std::string(200000, 'p'));
  server.holdRanges = true;
  server.holdProbe = true;
  server.acceptsLeft = 1;  // the probe only
  CSegmentedDownloader downloader;
  bool started = false;
  std::thread starter([&] { started = downloader.Start(server.Url(), dir.Path(), "paused.bin", 10); });
  for (int i = 0; i < 2000 && server.RangeLines().empty(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  // Fill the listen queue: the workers' connections then wait in their connect.
  std::vector<platform::SocketHandle> queued;
  for (int i = 0; i < 64; ++i) {
    platform::SocketHandle s = platform::OpenTcpSocket();
    if (!platform::ConnectSocket(s, "127.0.0.1", server.Port(), 300)) {
      platform::CloseSocket(s);
      break;
    }
    queued.push_back(s);
  }
  server.holdProbe = false;
  starter.join();
  ASSERT_TRUE(started);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));

  downloader.StopAll();
  for (platform::SocketHandle s : queued) platform::CloseSocket(s);
  server.acceptsLeft = -1;  // the workers' connections now get through
  const Clock::time_point began = Clock::now();
  EXPECT_FALSE(downloader.Finish(true, -1));
  EXPECT_LT(Clock::now() - began, std::chrono::seconds(10));
  EXPECT_FALSE(downloader.IsRunning());
}
