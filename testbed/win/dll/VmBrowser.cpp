// Stand-in of the resource-browse plug-in: DoBrowser records that it was
// called, with which buffer sizes and whether the buffers came zeroed.
#include <cstdio>

#include "../standin/StandInLog.h"

namespace {

bool Zeroed(const char* bytes, int size) {
  for (int i = 0; i < size; ++i)
    if (bytes[i]) return false;
  return true;
}

}  // namespace

extern "C" __declspec(dllexport) int __cdecl DoBrowser(HWND parent, char* path, int pathSize,
                                                       char* name, int nameSize) {
  char text[128];
  snprintf(text, sizeof text, "DoBrowser|%d|%d|%s|%s", pathSize, nameSize,
           Zeroed(path, pathSize) && Zeroed(name, nameSize) ? "zeroed" : "dirty",
           parent == GetDesktopWindow() ? "desktop" : "other");
  RecordStandIn("VmBrowser.dll", text);
  return 0;
}
