// Opens the failure list dialog over one examerr.data:
//   examerrlist <path of examerr.data>
#include <windows.h>

#include "experiments/win/ExamErrListDlg.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  if (__argc < 2) return 2;
  CExamErrStore store;
  store.SetPath(__argv[1]);
  CExamErrListDlg list(store, platform::SystemDesktop());
  return list.DoModal(nullptr) == IDCANCEL ? 0 : 1;
}
