#include <windows.h>

#include "app/win/WinAssistantApp.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  CWinAssistantApp app;
  return app.Run(GetCommandLineA());
}
