// Opens the failure list dialog over one examerr.data:
//   examerrlist <path of examerr.data>
#include <windows.h>

#include "experiments/win/ExamErrListDlg.h"
#include "platform/SocketCleanup.h"
#include "platform/Sockets.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  if (__argc < 2) return 2;
  platform::StartupSocketLibrary();  // the list asks the platform for names
  CExamErrStore store;
  store.SetPath(__argv[1]);
  CExamErrListDlg list(store, platform::SystemDesktop());
  INT_PTR result = list.DoModal(nullptr);
  platform::CleanupSocketLibrary();
  return result == IDCANCEL ? 0 : 1;
}
