#include <windows.h>

#include "app/AssistantApp.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  CAssistantApp app;
  return app.Run(GetCommandLineA());
}
