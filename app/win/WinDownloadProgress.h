#pragma once
#include <windows.h>
#include <commctrl.h>

#include "app/DownloadProgress.h"
#include "ui/win/DownloadProgressDlg.h"

// The progress dialog of a resource download, modeless below the desktop
// and hidden until a download starts.
class CWinDownloadProgress final : public IDownloadProgress {
 public:
  CWinDownloadProgress() {
    // The dialog's bar is a common control: its class must exist first.
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    m_dialog.Create(GetDesktopWindow());
  }

  void StartTimer() override { m_dialog.StartTimer(); }
  void StopTimer() override { m_dialog.StopTimer(); }
  void Show(bool visible) override {
    if (HWND window = m_dialog.GetSafeHwnd()) ShowWindow(window, visible ? SW_SHOW : SW_HIDE);
  }
  void SetTitle(const std::string& title) override {
    if (HWND window = m_dialog.GetSafeHwnd()) SetWindowTextA(window, title.c_str());
  }
  void SetRange(int low, int high) override { m_dialog.SetRange(low, high); }
  void SetPos(int pos) override { m_dialog.SetPos(pos); }
  bool IsCancelled() const override { return m_dialog.IsCancelled(); }

 private:
  CDownloadProgressDlg m_dialog;
};
