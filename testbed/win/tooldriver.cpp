// Runs companion-tool commands of the main window in a real application
// object, for tests while no main window delivers them:
//   tooldriver.exe ARG...   each ARG a command id, or "update" (the menu's
//                           update check), run in order
// Pumps messages until a background installer has ended; exit code 0.
#include <windows.h>

#include <cstdlib>
#include <string>

#include "app/AppToolCommands.h"
#include "app/win/WinAssistantApp.h"
#include "platform/Sockets.h"

namespace {

void PumpWhileInstalling() {
  MSG msg;
  do {
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    Sleep(20);
  } while (IsToolInstallerRunning());
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  platform::StartupSocketLibrary();  // start-up does this for the program
  CWinAssistantApp app;
  app.CreateAddinInstallWindow();
  for (int i = 1; i < __argc; ++i) {
    const std::string arg = __argv[i];
    if (arg == "update")
      CheckForUpdateFromMenu(app);
    else
      RunToolCommand(app, atoi(arg.c_str()));
  }
  PumpWhileInstalling();
  return 0;
}
