#include "tools/win/MainMenu.h"

#include "tools/win/MainMenuBuild.h"

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

void ShowMainMenu(const MainMenuState& state, HWND owner, POINT at) {
  HMENU menu = CreateMainMenu(MainMenuLayout(state));
  if (!menu) return;
  TrackPopupMenu(menu, TPM_RIGHTBUTTON, at.x, at.y, 0, owner, nullptr);
  // Opened from the notification area, the menu would otherwise not close
  // on a click outside it the next time.
  PostMessageA(owner, WM_NULL, 0, 0);
  DestroyMenu(menu);
}
