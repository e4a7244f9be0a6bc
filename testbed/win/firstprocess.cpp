// Stands in for the program's first process: holds the single-instance
// mutex, so that every program started meanwhile is a later process, which
// carries out its URL and ends instead of staying with the main window.
//
//   firstprocess [hold ms]   prints "ready" once it holds the mutex; exit code
//                            0 after holding, 1 when another process held it
#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "app/SharedState.h"

int main(int argc, char** argv) {
  DWORD hold = argc > 1 ? (DWORD)strtoul(argv[1], nullptr, 10) : INFINITE;
  HANDLE mutex = CreateMutexA(nullptr, TRUE, INSTANCE_MUTEX_NAME);
  if (!mutex || GetLastError() == ERROR_ALREADY_EXISTS) return 1;
  puts("ready");
  fflush(stdout);
  Sleep(hold);
  CloseHandle(mutex);
  return 0;
}
