// Holds a file open for a while as a virus scanner does right after the file
// was written: others may read it, but not move, replace or delete it.
// Signals the named event once the file is open. Exit code: 0 held and let
// go, 1 could not open the file, 2 usage.
//
//   fileholder <path> <hold ms> <event name>
#include <windows.h>

#include <cstdlib>

int main(int argc, char** argv) {
  if (argc != 4) return 2;
  HANDLE file = CreateFileA(argv[1], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[3]);
  if (ready) SetEvent(ready);
  Sleep((DWORD)atoi(argv[2]));
  CloseHandle(file);
  if (ready) CloseHandle(ready);
  return 0;
}
