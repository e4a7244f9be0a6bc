// Holds a file open for a while as a virus scanner does right after the file
// was written: others may read it, but not move, replace or delete it; with
// "alone", as a scanner that shares nothing, others may not even read it.
// Signals the named event (none for "-") and writes "held" once the file is
// open. Exit code: 0 held and let go, 1 could not open the file, 2 usage.
//
//   fileholder <path> <hold ms> <event name> [alone]
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
  const bool alone = argc == 5 && strcmp(argv[4], "alone") == 0;
  if (argc != 4 && !alone) return 2;
  HANDLE file = CreateFileA(argv[1], GENERIC_READ, alone ? 0 : FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[3]);
  if (ready) SetEvent(ready);
  std::printf("held\n");
  std::fflush(stdout);
  Sleep((DWORD)atoi(argv[2]));
  CloseHandle(file);
  if (ready) CloseHandle(ready);
  return 0;
}
