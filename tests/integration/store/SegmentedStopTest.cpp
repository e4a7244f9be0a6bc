#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "RefPlatform.h"
#include "net/WebClient.h"
#include "platform/Files.h"
#include "store/SegmentedDownloader.h"

// The download bar's stop against the reference platform's stall fault: the
// workers wait on a server that has stopped sending in the middle of a body.

namespace {

const RefPlatform& Ref() { return RefPlatform::Get(); }

TEST(SegmentedStop, StopReturnsWithinASecondFromAStalledServer) {
  ASSERT_TRUE(CWebClient::StartupSockets());
  ASSERT_TRUE(Ref().IsReady()) << "the reference platform fixture is not running";
  Ref().SetFaults(R"([{"server": "download", "stall": {"after": 100, "seconds": 30}}])");
  const std::filesystem::path dir = std::filesystem::temp_directory_path() / "velmora-stop-test";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  const std::string dirPath = dir.string();
  const std::string url = "http://127.0.0.1:" + std::to_string(Ref().Port("download")) +
                          "/file/downLoad?ft=1&u=2&fid=100002";
  {
    CSegmentedDownloader downloader;
    ASSERT_TRUE(downloader.Start(url, dirPath, "lesson1.mp4", 10)) << downloader.m_nError;
    for (int i = 0; i < 200 && downloader.GetDone() == 0; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_GT(downloader.GetDone(), 0);  // the bytes before the stall arrived
    const auto stopped = std::chrono::steady_clock::now();
    downloader.StopAll();
    EXPECT_FALSE(downloader.Finish(true, -1));
    EXPECT_LT(std::chrono::steady_clock::now() - stopped, std::chrono::seconds(1));
    EXPECT_FALSE(downloader.AnySegmentGaveUp());  // a stop, not a failure
  }
  Ref().ClearFaults();
  std::filesystem::remove_all(dir);
}

}  // namespace
