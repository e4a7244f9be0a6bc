// Stand-in of the companion program VmUpgrade.exe: records its command line.
#include "standin/StandInLog.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  RecordStandIn(ModuleName(nullptr), GetCommandLineA());
  return 0;
}
