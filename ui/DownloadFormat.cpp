#include "ui/DownloadFormat.h"

#include <cstdio>

namespace {

template <typename... Args>
std::string Format(const char* format, Args... args) {
  char text[512];
  std::snprintf(text, sizeof text, format, args...);
  return text;
}

std::string TwoDigits(int64_t value) {
  std::string text = Format("%lld", static_cast<long long>(value));
  return value < 10 ? "0" + text : text;
}

}  // namespace

std::string ProgressPercentText(int pos, int rangeHigh) {
  // A file below 1 KiB has a range of 0: nothing to divide by yet.
  int percent = rangeHigh > 0 ? static_cast<int>(static_cast<double>(pos) / rangeHigh * 100 + 0.5)
                              : 0;
  return Format("下载进度：%d%%", percent);
}

std::string ProgressClock(int64_t seconds) {
  if (seconds < 0) seconds = 0;
  return TwoDigits(seconds / 3600) + ":" + TwoDigits(seconds % 3600 / 60) + ":" +
         TwoDigits(seconds % 60);
}

std::string ProgressSpeedText(int deltaKiB) {
  if (deltaKiB > 1024) return Format("速度：%0.1f MB/s  ", deltaKiB / 1024.0);
  return Format("速度：%d KB/s  ", deltaKiB);
}

void CProgressTicker::Reset() {
  m_nElapsed = 0;
  m_nLastPos = 0;
}

std::string CProgressTicker::Tick(int pos, int rangeHigh) {
  ++m_nElapsed;
  int delta = m_nLastPos != 0 ? pos - m_nLastPos : 0;
  m_nLastPos = pos;
  int remaining = delta != 0 ? (rangeHigh - pos) / delta : 0;
  return ProgressSpeedText(delta) + "耗时：" + ProgressClock(m_nElapsed) + "  " + "剩时：" +
         ProgressClock(remaining);
}

std::string BarClock(int64_t seconds) {
  if (seconds <= 0) return "--:--:--";
  return Format("%02lld:%02lld:%02lld", static_cast<long long>(seconds / 3600),
                static_cast<long long>(seconds % 3600 / 60), static_cast<long long>(seconds % 60));
}

std::string BarSpeedText(uint32_t deltaBytes) {
  if (deltaBytes >= 1048576) return Format("%0.1f MB/S", deltaBytes / 1048576.0);
  return Format("%0.1f KB/S", deltaBytes / 1024.0);
}

std::string BarSizeText(int64_t total) {
  uint64_t size = static_cast<uint64_t>(total);
  if (size < 1024) return Format("%d", static_cast<int>(size));
  if (size < 1048576) return Format("%0.2f KB", size / 1024.0);
  if (size < 1073741824) return Format("%0.2f MB", size / 1048576.0);
  return Format("%0.2f GB", size / 1073741824.0);
}

std::string BarProgressText(const std::string& label, int64_t done, int64_t total) {
  double percent = total > 0 ? static_cast<double>(done) / static_cast<double>(total) * 100 : 0;
  return label + Format(" %0.2f%%...", percent);
}

std::string BarTooltipText(const std::string& fileName, const std::string& size,
                           const std::string& speed, const std::string& remaining,
                           const std::string& elapsed) {
  return "文件：" + fileName + "\n大小：" + size + "\n速度：" + speed + "\n剩时：" + remaining +
         "\n用时：" + elapsed;
}

void CBarTicker::Start(int64_t done) {
  m_nElapsed = 0;
  m_nLast = done;
}

std::string CBarTicker::Tick(int64_t now, int64_t total, const std::string& fileName,
                             const std::string& size) {
  ++m_nElapsed;
  uint32_t delta = static_cast<uint32_t>(now) - static_cast<uint32_t>(m_nLast);
  int64_t remaining = delta != 0 ? (total - now) / static_cast<int64_t>(delta) : 0;
  m_nLast = now;
  return BarTooltipText(fileName, size, BarSpeedText(delta), BarClock(remaining),
                        BarClock(m_nElapsed));
}
