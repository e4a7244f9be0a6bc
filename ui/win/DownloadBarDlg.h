#pragma once
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/Desktop.h"
#include "store/SegmentedDownloader.h"
#include "ui/DownloadFormat.h"

// Progress of the downloader, posted to the bar: wParam and lParam are the
// high and low 32 bits of the bytes done, both 0xFFFFFFFF when no worker is
// left.
constexpr UINT WM_DOWNLOAD_PROGRESS = 2024;

// A small dark bar that downloads one companion tool with the segmented
// downloader while it is open. Ends with IDOK when the file is complete and
// with IDCANCEL when the user leaves through "退出(&X)".
class CDownloadBarDlg {
 public:
  explicit CDownloadBarDlg(platform::IDesktop& desktop = platform::SystemDesktop());
  ~CDownloadBarDlg();
  CDownloadBarDlg(const CDownloadBarDlg&) = delete;
  CDownloadBarDlg& operator=(const CDownloadBarDlg&) = delete;

  INT_PTR DoModal(HWND parent);

  std::string m_strUrl;
  std::string m_strPath;
  const char* m_pszName = nullptr;
  std::string m_strLabel;

  const std::string& GetText() const { return m_strText; }
  CSegmentedDownloader& GetDownloader() { return *m_pDownloader; }

 private:
  template <typename Dialog>
  friend INT_PTR CALLBACK RouteDialogMessage(HWND, UINT, WPARAM, LPARAM);
  static void OnNotify(int64_t total, int64_t done, int kind, void* user);
  INT_PTR Handle(UINT message, WPARAM wParam, LPARAM lParam);
  void OnInitDialog();
  void StartOrStop();
  bool ConfirmOverwrite();
  void OnProgress(WPARAM wParam, LPARAM lParam);
  void OnAllEnded();
  void OnTimer();
  void OnPaint();
  void OnDpiChanged();
  void OnContextMenu();
  void Leave();
  void SetText(const std::string& text);
  void SetTip(const std::string& text);
  std::string ExpectedTargetPath() const;

  platform::IDesktop& m_desktop;
  HWND m_hWnd = nullptr;
  std::unique_ptr<CSegmentedDownloader> m_pDownloader;
  std::string m_strFileName;
  std::string m_strSize;
  std::string m_strText;
  std::string m_strTip;
  int64_t m_nTotal = 0;
  CBarTicker m_ticker;  // elapsed seconds and the bytes at the previous tick
  HFONT m_hFont = nullptr;
  HWND m_hTooltip = nullptr;
  // One progress message waits in the queue at most: a fast download would
  // otherwise fill it and lose the final message.
  std::atomic<bool> m_bProgressQueued{false};
};
