#include "app/win/WinAssistantApp.h"

#include <windows.h>
#include <commctrl.h>

#include "app/win/AssistantWnd.h"
#include "ui/win/CaptureDlg.h"
#include "ui/win/CapturePreviewDlg.h"
#include "ui/win/DownloadBarDlg.h"

bool CWinAssistantApp::RunDownloadBar(const std::string& url, const std::string& dir,
                                      const std::string& label) {
  CDownloadBarDlg bar(Desktop());
  bar.m_strUrl = url;
  bar.m_strPath = dir;
  bar.m_strLabel = label;
  return bar.DoModal(GetDesktopWindow()) == IDOK;
}

void CWinAssistantApp::RunMainWindow() {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES};
  InitCommonControlsEx(&controls);
  CAssistantWnd window(*this);
  m_pMainWnd = &window;
  window.DoModal();
  m_pMainWnd = nullptr;
}

void CWinAssistantApp::UpdateMainWindowTooltip() {
  if (m_pMainWnd) m_pMainWnd->UpdateTooltip();
}

void CWinAssistantApp::StartScreenCapture() {
  if (m_bCapturing) return;
  m_bCapturing = true;
  HWND owner = m_pMainWnd ? m_pMainWnd->GetSafeHwnd() : nullptr;
  CCaptureDlg capture;
  if (capture.DoModal(owner) == IDOK) {
    CCapturePreviewDlg preview;
    preview.DoModal(owner);
  }
  m_bCapturing = false;
}
