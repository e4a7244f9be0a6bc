// Stand-in of the document tools' installer ToPack.exe: records its command
// line and installs copies of itself as the converter and the reader into
// the tools directory; started under those names it only records.
#include <shlobj.h>

#include "standin/StandInLog.h"

namespace {

void InstallTools() {
  char appData[MAX_PATH] = "";
  if (FAILED(SHGetFolderPathA(nullptr, CSIDL_APPDATA, nullptr, 0, appData))) return;
  std::string dir = std::string(appData) + "\\VelmoraWeb\\Tools\\ToPack";
  CreateDirectoryA(dir.c_str(), nullptr);
  char self[MAX_PATH] = "";
  GetModuleFileNameA(nullptr, self, sizeof self);
  CopyFileA(self, (dir + "\\VelmoraToolPack.exe").c_str(), FALSE);
  CopyFileA(self, (dir + "\\ZtCourseReader.exe").c_str(), FALSE);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int show) {
  const std::string name = ModuleName(nullptr);
  RecordStandIn(name, std::string(GetCommandLineA()) + (show == SW_HIDE ? "|hidden" : "|shown"));
  if (lstrcmpiA(name.c_str(), "ToPack.exe") == 0) InstallTools();
  return 0;
}
