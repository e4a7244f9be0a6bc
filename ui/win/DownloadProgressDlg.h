#pragma once
#include <windows.h>

#include "ui/DownloadFormat.h"

// The progress dialog of a resource download: bar, percentage, speed,
// elapsed and remaining time, and Cancel. It lives on the thread that
// downloads and stays responsive because SetPos dispatches that thread's
// waiting messages.
class CDownloadProgressDlg {
 public:
  CDownloadProgressDlg() = default;
  ~CDownloadProgressDlg();
  CDownloadProgressDlg(const CDownloadProgressDlg&) = delete;
  CDownloadProgressDlg& operator=(const CDownloadProgressDlg&) = delete;

  // Modeless, and only below a real window.
  bool Create(HWND parent);
  HWND GetSafeHwnd() const { return m_hWnd; }

  void StartTimer();
  void StopTimer();
  // Ranges and positions in KiB; the range is set once per download.
  void SetRange(int low, int high);
  void SetPos(int pos);
  bool IsCancelled() const { return m_bCancel != 0; }

 private:
  template <typename Dialog>
  friend INT_PTR CALLBACK RouteDialogMessage(HWND, UINT, WPARAM, LPARAM);
  INT_PTR Handle(UINT message, WPARAM wParam, LPARAM lParam);
  void OnInitDialog();
  void OnTimer();
  void OnCancel();
  void PumpMessages();

  HWND m_hWnd = nullptr;
  int m_nRangeLow = 0;
  int m_nRangeHigh = 0;
  int m_bCancel = 0;
  HICON m_hIcon = nullptr;
  CProgressTicker m_ticker;  // elapsed seconds and the previous position
};
