// Stand-in of the companion program VmCourse_self.exe: records its command line.
#include "standin/StandInLog.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  RecordStandIn(ModuleName(nullptr), GetCommandLineA());
  return 0;
}
