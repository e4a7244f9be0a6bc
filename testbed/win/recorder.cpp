// Stand-in for programs and file handlers that the assistant starts: appends
// its own command line (UTF-8, one line) to the file named by the
// environment variable VELMORA_RECORDER_LOG, else C:\recorder.log, and ends.
#include <windows.h>

#include <cstdio>
#include <string>

#include "net/Codecs.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  char path[MAX_PATH] = "C:\\recorder.log";
  GetEnvironmentVariableA("VELMORA_RECORDER_LOG", path, sizeof path);
  std::string line = AnsiToUtf8(GetCommandLineA()) + "\n";
  HANDLE file = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  DWORD written = 0;
  WriteFile(file, line.data(), (DWORD)line.size(), &written, nullptr);
  CloseHandle(file);
  return 0;
}
