#pragma once
// What the companion stand-ins share: one line per event, "<name>|<text>"
// (UTF-8), appended to the file named by VELMORA_TOOL_LOG, else C:\tools.log.
#include <windows.h>

#include <string>

#include "net/Codecs.h"

inline void RecordStandIn(const std::string& name, const std::string& text) {
  char path[MAX_PATH] = "C:\\tools.log";
  GetEnvironmentVariableA("VELMORA_TOOL_LOG", path, sizeof path);
  std::string line = AnsiToUtf8(name + "|" + text) + "\n";
  HANDLE file = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, line.data(), (DWORD)line.size(), &written, nullptr);
  CloseHandle(file);
}

// The file name of this module (program or library).
inline std::string ModuleName(HMODULE module) {
  char path[MAX_PATH] = "";
  GetModuleFileNameA(module, path, sizeof path);
  const char* slash = strrchr(path, '\\');
  return slash ? slash + 1 : path;
}
