#pragma once
#include <cstdint>
#include <string>

// The texts of the two download windows. Both windows take two readings one
// second apart and derive speed and remaining time from their difference, but
// with their own units and formats; everything here is portable so that the
// texts can be checked without a window.

// Progress dialog of a resource download (positions in KiB).
std::string ProgressPercentText(int pos, int rangeHigh);
// "h:mm:ss"-like clock: each part "%d" with a leading "0" below 10.
std::string ProgressClock(int64_t seconds);
std::string ProgressSpeedText(int deltaKiB);

// The per-second reading of the progress dialog.
class CProgressTicker {
 public:
  void Reset();
  // One tick with the bar's position and range; returns the text beside it.
  std::string Tick(int pos, int rangeHigh);
  int Elapsed() const { return m_nElapsed; }

 private:
  int m_nElapsed = 0;
  int m_nLastPos = 0;
};

// Download bar of a companion tool (bytes).
std::string BarClock(int64_t seconds);
std::string BarSpeedText(uint32_t deltaBytes);
std::string BarSizeText(int64_t total);
std::string BarProgressText(const std::string& label, int64_t done, int64_t total);
std::string BarTooltipText(const std::string& fileName, const std::string& size,
                           const std::string& speed, const std::string& remaining,
                           const std::string& elapsed);

// The per-second reading of the download bar.
class CBarTicker {
 public:
  void Start(int64_t done);
  // One tick with the bytes done now; returns the tooltip text.
  std::string Tick(int64_t now, int64_t total, const std::string& fileName,
                   const std::string& size);
  int Elapsed() const { return m_nElapsed; }

 private:
  int m_nElapsed = 0;
  int64_t m_nLast = 0;
};
