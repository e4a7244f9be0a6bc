#include "app/win/WinAssistantApp.h"

#include "experiments/win/ExamErrListDlg.h"
#include "ui/win/DownloadBarDlg.h"

bool CWinAssistantApp::RunDownloadBar(const std::string& url, const std::string& dir,
                                      const std::string& label) {
  CDownloadBarDlg bar(Desktop());
  bar.m_strUrl = url;
  bar.m_strPath = dir;
  bar.m_strLabel = label;
  return bar.DoModal(GetDesktopWindow()) == IDOK;
}

void CWinAssistantApp::ShowExamErrorList() {
  CExamErrListDlg list(*m_pExamErrors, Desktop());
  list.DoModal(GetActiveWindow());
}
