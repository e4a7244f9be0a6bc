#include "platform/SystemDirs.h"

#include <windows.h>

namespace platform {
namespace {

std::string WithBackslash(const char* dir) {
  std::string path = dir;
  if (!path.empty() && path.back() != '\\') path += '\\';
  return path;
}

}  // namespace

std::string ProgramPath() {
  char buffer[MAX_PATH + 1] = {};
  DWORD n = GetModuleFileNameA(nullptr, buffer, MAX_PATH);
  return n > 0 && n < MAX_PATH ? std::string(buffer, n) : std::string();
}

std::string WindowsDirectory() {
  char buffer[MAX_PATH + 1] = {};
  UINT n = GetWindowsDirectoryA(buffer, MAX_PATH);
  return n > 0 && n < MAX_PATH ? WithBackslash(buffer) : std::string();
}

std::string SystemDirectory() {
  char buffer[MAX_PATH + 1] = {};
  UINT n = GetSystemDirectoryA(buffer, MAX_PATH);
  return n > 0 && n < MAX_PATH ? WithBackslash(buffer) : std::string();
}

std::string TempDirectory() {
  char buffer[MAX_PATH + 1] = {};
  DWORD n = GetTempPathA(MAX_PATH, buffer);
  return n > 0 && n < MAX_PATH ? WithBackslash(buffer) : std::string();
}

}  // namespace platform
