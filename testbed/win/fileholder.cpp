// Holds a file open for a while as a virus scanner does right after the file
// was written: others may read it, but not move, replace or delete it; with
// "alone", as a scanner that shares nothing, others may not even read it; with
// "locked", as a backup agent, it shares the file but locks all its bytes.
// Signals the named event (none for "-") and writes "held" once the file is
// open. Exit code: 0 held and let go, 1 could not open or lock the file, 2 usage.
//
//   fileholder <path> <hold ms> <event name> [alone|locked]
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
  const bool alone = argc == 5 && strcmp(argv[4], "alone") == 0;
  const bool locked = argc == 5 && strcmp(argv[4], "locked") == 0;
  if (argc != 4 && !alone && !locked) return 2;
  const DWORD share = alone ? 0 : locked ? FILE_SHARE_READ | FILE_SHARE_WRITE : FILE_SHARE_READ;
  HANDLE file = CreateFileA(argv[1], GENERIC_READ, share, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  OVERLAPPED whole = {};
  if (locked && !LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD,
                            MAXDWORD, &whole))
    return 1;
  HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[3]);
  if (ready) SetEvent(ready);
  std::printf("held\n");
  std::fflush(stdout);
  Sleep((DWORD)atoi(argv[2]));
  CloseHandle(file);
  if (ready) CloseHandle(ready);
  return 0;
}
