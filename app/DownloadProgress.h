#pragma once
#include <string>

// The progress window of a resource download as the download logic drives
// it: hidden until a download starts, fed in KiB by the client's progress
// callback, and the user's Cancel read back from it.
class IDownloadProgress {
 public:
  virtual ~IDownloadProgress() = default;
  virtual void StartTimer() = 0;  // also clears the range and the cancel flag
  virtual void StopTimer() = 0;
  virtual void Show(bool visible) = 0;
  virtual void SetTitle(const std::string& title) = 0;
  virtual void SetRange(int low, int high) = 0;  // once per download
  virtual void SetPos(int pos) = 0;
  virtual bool IsCancelled() const = 0;
};

// Where no window can be shown: nothing is drawn and nothing is cancelled.
class CNoDownloadProgress final : public IDownloadProgress {
 public:
  void StartTimer() override {}
  void StopTimer() override {}
  void Show(bool) override {}
  void SetTitle(const std::string&) override {}
  void SetRange(int, int) override {}
  void SetPos(int) override {}
  bool IsCancelled() const override { return false; }
};
