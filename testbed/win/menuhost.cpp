// Hosts the main menu and its commands for the tests, in place of the main
// window: the application with its stores in APPDATA, logged in as a user.
//   menuhost <userId> [--tray] [--pick=DIR] run <id>...   each command as the window hands it on
//   menuhost <userId> [--tray] menu <n>                    the menu opened, printed, and its
//                                                          n-th selectable entry (from 1) chosen
// --pick=DIR answers the folder picker with DIR instead of showing it.
// Printed (UTF-8): "entry <line>" per menu entry, "command <id> handled|unknown".
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/win/WinAssistantApp.h"
#include "net/Codecs.h"
#include "platform/FolderPicker.h"
#include "tools/win/MainMenu.h"
#include "app/MenuCommands.h"

namespace {

void Print(const std::string& ansi) {
  std::string utf8 = AnsiToUtf8(ansi) + "\n";
  fwrite(utf8.data(), 1, utf8.size(), stdout);
  fflush(stdout);
}

class CFixedPicker final : public platform::IFolderPicker {
 public:
  explicit CFixedPicker(std::string dir) : m_strDir(std::move(dir)) {}
  std::optional<std::string> PickFolder(const std::string& title, const std::string& selected) override {
    Print("picker " + title + "|" + selected);
    return m_strDir;
  }

 private:
  std::string m_strDir;
};

struct Options {
  int userId = 0;
  bool inTray = false;
  std::string pick;
  std::string mode;
  std::vector<int> values;
};

bool ParseOptions(int argc, char** argv, Options& options) {
  if (argc < 3) return false;
  options.userId = atoi(argv[1]);
  for (int i = 2; i < argc; ++i) {
    if (!strcmp(argv[i], "--tray")) options.inTray = true;
    else if (!strncmp(argv[i], "--pick=", 7)) options.pick = argv[i] + 7;
    else if (options.mode.empty()) options.mode = argv[i];
    else options.values.push_back(atoi(argv[i]));
  }
  return options.mode == "run" || (options.mode == "menu" && options.values.size() == 1);
}

void RunCommand(CAssistantApp& app, const Options& options, int id) {
  CFixedPicker fixed(options.pick);
  bool handled = options.pick.empty() ? RunMenuCommand(app, platform::SystemFolderPicker(), id)
                                      : RunMenuCommand(app, fixed, id);
  Print("command " + std::to_string(id) + (handled ? " handled" : " unknown"));
}

// Lines of the open menu, then the chosen entry by keyboard.
int g_nChoose = 0;

void CALLBACK ChooseEntry(HWND owner, UINT, UINT_PTR timer, DWORD) {
  KillTimer(owner, timer);
  HWND popup = FindWindowA("#32768", nullptr);
  if (!popup) return (void)EndMenu();
  HMENU menu = reinterpret_cast<HMENU>(SendMessageA(popup, MN_GETHMENU, 0, 0));
  for (int i = 0, n = GetMenuItemCount(menu); i < n; ++i) {
    char text[256] = "-";
    UINT id = GetMenuItemID(menu, i);
    if (GetMenuStringA(menu, i, text, sizeof text, MF_BYPOSITION) <= 0) strcpy(text, "-");
    Print("entry " + std::to_string(static_cast<int>(id)) + " " + text);
  }
  // The keyboard passes over separators and stops at sub-menus, as for a user.
  for (int i = 0; i < g_nChoose; ++i) PostMessageA(popup, WM_KEYDOWN, VK_DOWN, 0);
  PostMessageA(popup, WM_KEYDOWN, VK_RETURN, 0);
}

void ShowMenuAndRun(CAssistantApp& app, const Options& options) {
  HWND owner = CreateWindowExA(WS_EX_TOOLWINDOW, "STATIC", "menuhost", WS_POPUP | WS_VISIBLE, 0, 0,
                               1, 1, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
  SetForegroundWindow(owner);
  g_nChoose = options.values[0];
  SetTimer(owner, 1, 500, ChooseEntry);
  ShowMainMenu(MainMenuStateOf(app, options.inTray), owner, POINT{200, 300});
  MSG msg;
  while (PeekMessageA(&msg, owner, 0, 0, PM_REMOVE))
    if (msg.message == WM_COMMAND) RunCommand(app, options, LOWORD(msg.wParam));
  DestroyWindow(owner);
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!ParseOptions(argc, argv, options)) {
    fprintf(stderr, "usage: menuhost <userId> [--tray] [--pick=DIR] run <id>... | menu <n>\n");
    return 2;
  }
  CWinAssistantApp app;
  app.m_pSettings->Load();
  app.m_pFileList->LoadState();
  app.m_login.userId = options.userId;
  app.m_bLoggedIn = true;
  if (!app.PrepareUserDirs()) return 1;
  if (options.mode == "menu") ShowMenuAndRun(app, options);
  for (int id : options.values)
    if (options.mode == "run") RunCommand(app, options, id);
  return 0;
}
