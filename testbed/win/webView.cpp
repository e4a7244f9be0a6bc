// Stand-in for the companion video viewer and its installer, one program that
// acts by where it lies. As <dir>\webView\webView.exe it is the viewer: it
// appends its whole command line (UTF-8, one line) to commandline.log beside
// itself and ends. Anywhere else it is the installer served by the tool
// server: it puts a copy of itself at <its dir>\webView\webView.exe.
#include <windows.h>

#include <string>

#include "net/Codecs.h"

namespace {

std::string OwnPath() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, sizeof path);
  return path;
}

std::string DirectoryOf(const std::string& path) { return path.substr(0, path.find_last_of('\\')); }

std::string NameOf(const std::string& path) { return path.substr(path.find_last_of('\\') + 1); }

bool IsInstalledViewer(const std::string& path) {
  return lstrcmpiA(NameOf(DirectoryOf(path)).c_str(), "webView") == 0;
}

int RecordCommandLine(const std::string& dir) {
  std::string line = AnsiToUtf8(GetCommandLineA()) + "\n";
  HANDLE file = CreateFileA((dir + "\\commandline.log").c_str(), FILE_APPEND_DATA,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  DWORD written = 0;
  WriteFile(file, line.data(), (DWORD)line.size(), &written, nullptr);
  CloseHandle(file);
  return 0;
}

int Install(const std::string& self) {
  std::string target = DirectoryOf(self) + "\\webView";
  CreateDirectoryA(target.c_str(), nullptr);
  return CopyFileA(self.c_str(), (target + "\\webView.exe").c_str(), FALSE) ? 0 : 1;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  const std::string self = OwnPath();
  return IsInstalledViewer(self) ? RecordCommandLine(DirectoryOf(self)) : Install(self);
}
