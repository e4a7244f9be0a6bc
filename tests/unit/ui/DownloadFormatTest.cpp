#include <gtest/gtest.h>

#include "ui/DownloadFormat.h"

TEST(DownloadFormat, ProgressSpeedSwitchesToMegabytesAbove1024KiB) {
  EXPECT_EQ(ProgressSpeedText(1025), "速度：1.0 MB/s  ");
  EXPECT_EQ(ProgressSpeedText(1024), "速度：1024 KB/s  ");
  EXPECT_EQ(ProgressSpeedText(0), "速度：0 KB/s  ");
  EXPECT_EQ(ProgressSpeedText(5120), "速度：5.0 MB/s  ");
}

TEST(DownloadFormat, ProgressClockPadsEachPartBelowTen) {
  const struct { int64_t seconds; const char* text; } cases[] = {
      {0, "00:00:00"},       {9, "00:00:09"},         {61, "00:01:01"},
      {3600, "01:00:00"},    {36000 + 600 + 10, "10:10:10"},
      {360000, "100:00:00"},  // hours may take more than two digits
      {-5, "00:00:00"},      // a backward step never shows a negative clock
  };
  for (const auto& c : cases) EXPECT_EQ(ProgressClock(c.seconds), c.text) << c.seconds;
}

TEST(DownloadFormat, ProgressPercentRoundsAndSurvivesAnEmptyRange) {
  EXPECT_EQ(ProgressPercentText(0, 1000), "下载进度：0%");
  EXPECT_EQ(ProgressPercentText(5, 1000), "下载进度：1%");
  EXPECT_EQ(ProgressPercentText(4, 1000), "下载进度：0%");
  EXPECT_EQ(ProgressPercentText(1000, 1000), "下载进度：100%");
  // A file below 1 KiB gives a range of 0 KiB.
  EXPECT_EQ(ProgressPercentText(0, 0), "下载进度：0%");
}

TEST(DownloadFormat, ProgressFirstTickShowsNoSpeedAndNoRemainingTime) {
  CProgressTicker ticker;
  ticker.Reset();
  EXPECT_EQ(ticker.Tick(300, 10000), "速度：0 KB/s  耗时：00:00:01  剩时：00:00:00");
  // Second tick: 1000 KiB in one second, 8700 KiB to go.
  EXPECT_EQ(ticker.Tick(1300, 10000), "速度：1000 KB/s  耗时：00:00:02  剩时：00:00:08");
  // Reset starts the reading over.
  ticker.Reset();
  EXPECT_EQ(ticker.Tick(5000, 10000), "速度：0 KB/s  耗时：00:00:01  剩时：00:00:00");
}

TEST(DownloadFormat, BarClockShowsDashesForNothing) {
  EXPECT_EQ(BarClock(0), "--:--:--");
  EXPECT_EQ(BarClock(-3), "--:--:--");
  EXPECT_EQ(BarClock(1), "00:00:01");
  EXPECT_EQ(BarClock(3725), "01:02:05");
  // A stalled download against a huge total must not wrap into a negative clock.
  EXPECT_EQ(BarClock(int64_t{1} << 33), "2386092:56:32");
}

TEST(DownloadFormat, BarSizeUnits) {
  const struct { int64_t total; const char* text; } cases[] = {
      {0, "0"},
      {1023, "1023"},
      {1024, "1.00 KB"},
      {1048575, "1024.00 KB"},
      {1048576, "1.00 MB"},
      {1073741824, "1.00 GB"},
      {int64_t{5} * 1073741824 + 536870912, "5.50 GB"},
  };
  for (const auto& c : cases) EXPECT_EQ(BarSizeText(c.total), c.text) << c.total;
}

TEST(DownloadFormat, BarSpeedUnits) {
  EXPECT_EQ(BarSpeedText(0), "0.0 KB/S");
  EXPECT_EQ(BarSpeedText(1536), "1.5 KB/S");
  EXPECT_EQ(BarSpeedText(1048575), "1024.0 KB/S");
  EXPECT_EQ(BarSpeedText(1048576), "1.0 MB/S");
}

TEST(DownloadFormat, BarProgressText) {
  EXPECT_EQ(BarProgressText("正在下载视频插件", 1, 3), "正在下载视频插件 33.33%...");
  EXPECT_EQ(BarProgressText("x", 0, 0), "x 0.00%...");
}

TEST(DownloadFormat, BarTickerTooltip) {
  CBarTicker ticker;
  ticker.Start(1000);
  // Nothing arrived in the first second: no speed, no remaining time.
  EXPECT_EQ(ticker.Tick(1000, 3098576, "tool.exe", "2.95 MB"),
            "文件：tool.exe\n大小：2.95 MB\n速度：0.0 KB/S\n剩时：--:--:--\n用时：00:00:01");
  EXPECT_EQ(ticker.Tick(1049576, 3098576, "tool.exe", "2.95 MB"),
            "文件：tool.exe\n大小：2.95 MB\n速度：1.0 MB/S\n剩时：00:00:01\n用时：00:00:02");
  // Past 4 GiB the per-second difference is taken on the low 32 bits.
  ticker.Start((int64_t{1} << 32) - 100);
  EXPECT_EQ(ticker.Tick((int64_t{1} << 32) + 924, int64_t{1} << 33, "f", "s"),
            "文件：f\n大小：s\n速度：1.0 KB/S\n剩时：1165:05:03\n用时：00:00:01");
}
