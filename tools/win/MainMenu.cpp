#include "tools/win/MainMenu.h"

#include "app/AssistantApp.h"
#include "platform/FolderPicker.h"
#include "tools/win/MainMenuBuild.h"
#include "ui/MenuCommands.h"

namespace {

bool AppendEntries(HMENU menu, const std::vector<MainMenuEntry>& entries) {
  for (const MainMenuEntry& entry : entries) {
    bool appended = false;
    switch (entry.kind) {
      case MainMenuEntry::Kind::Separator:
        appended = AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
        break;
      case MainMenuEntry::Kind::Command:
        appended = AppendMenuA(menu, MF_STRING, entry.id, entry.text.c_str());
        break;
      case MainMenuEntry::Kind::SubMenu: {
        HMENU sub = CreateMainMenu(entry.entries);
        appended = sub && AppendMenuA(menu, MF_POPUP, reinterpret_cast<UINT_PTR>(sub),
                                      entry.text.c_str());
        if (sub && !appended) DestroyMenu(sub);  // the menu owns it only once appended
        break;
      }
    }
    if (!appended) return false;
  }
  return true;
}

}  // namespace

HMENU CreateMainMenu(const std::vector<MainMenuEntry>& entries) {
  HMENU menu = CreatePopupMenu();
  if (menu && !AppendEntries(menu, entries)) {
    DestroyMenu(menu);
    return nullptr;
  }
  return menu;
}

void ShowMainMenu(CAssistantApp& app, HWND owner, POINT at, bool inTray) {
  MainMenuState state;
  state.loggedIn = app.m_bLoggedIn;
  state.inTray = inTray;
  state.lastHost = app.m_pSettings->m_strLastHost;
  HMENU menu = CreateMainMenu(MainMenuLayout(state));
  if (!menu) return;
  TrackPopupMenu(menu, TPM_RIGHTBUTTON, at.x, at.y, 0, owner, nullptr);
  // Opened from the notification area, the menu would otherwise not close
  // on a click outside it the next time.
  PostMessageA(owner, WM_NULL, 0, 0);
  DestroyMenu(menu);
}

bool HandleMenuCommand(CAssistantApp& app, HWND owner, int id) {
  (void)owner;  // every box and picker of the commands is owned by the desktop
  return RunMenuCommand(app, platform::SystemFolderPicker(), id);
}
