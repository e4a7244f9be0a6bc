#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "tools/win/MainMenu.h"
#include "tools/win/MainMenuBuild.h"

namespace {

// A menu read back from the system: one line per item, as the layout test
// writes them ("-" a separator, "id text", ">text" and its items indented).
std::vector<std::string> ReadMenu(HMENU menu, const std::string& indent = "") {
  std::vector<std::string> lines;
  for (int i = 0, n = GetMenuItemCount(menu); i < n; ++i) {
    char text[256] = "";
    MENUITEMINFOA info = {};
    info.cbSize = sizeof info;
    info.fMask = MIIM_FTYPE | MIIM_ID | MIIM_STRING | MIIM_SUBMENU;
    info.dwTypeData = text;
    info.cch = sizeof text;
    if (!GetMenuItemInfoA(menu, i, TRUE, &info)) {
      lines.push_back(indent + "<unreadable>");
    } else if (info.fType & MFT_SEPARATOR) {
      lines.push_back(indent + "-");
    } else if (info.hSubMenu) {
      lines.push_back(indent + ">" + text);
      for (std::string& line : ReadMenu(info.hSubMenu, indent + "  ")) lines.push_back(line);
    } else {
      lines.push_back(indent + std::to_string(info.wID) + " " + text);
    }
  }
  return lines;
}

std::vector<std::string> LayoutLines(const std::vector<MainMenuEntry>& entries,
                                     const std::string& indent = "") {
  std::vector<std::string> lines;
  for (const MainMenuEntry& e : entries) {
    if (e.kind == MainMenuEntry::Kind::Separator) lines.push_back(indent + "-");
    if (e.kind == MainMenuEntry::Kind::Command) lines.push_back(indent + std::to_string(e.id) + " " + e.text);
    if (e.kind == MainMenuEntry::Kind::SubMenu) {
      lines.push_back(indent + ">" + e.text);
      for (std::string& line : LayoutLines(e.entries, indent + "  ")) lines.push_back(line);
    }
  }
  return lines;
}

TEST(MainMenuWin, SystemMenuHoldsTheLayoutInBothVariants) {
  for (bool inTray : {false, true}) {
    MainMenuState state{true, inTray, "school.example.org"};
    const std::vector<MainMenuEntry> layout = MainMenuLayout(state);
    HMENU menu = CreateMainMenu(layout);
    ASSERT_NE(nullptr, menu);
    std::vector<std::string> lines = ReadMenu(menu);
    EXPECT_EQ(LayoutLines(layout), lines);
    EXPECT_EQ(26u, lines.size());  // 21 entries, then the sub-menu's 5 below its title
    EXPECT_TRUE(DestroyMenu(menu));
  }
}

// What the open menu showed, read while the system tracks it; then an
// entry is chosen with the keyboard.
std::vector<std::string> g_shown;

void CALLBACK ReadOpenMenu(HWND owner, UINT, UINT_PTR timer, DWORD) {
  KillTimer(owner, timer);
  HWND popup = FindWindowA("#32768", nullptr);
  if (!popup) return (void)EndMenu();
  HMENU menu = reinterpret_cast<HMENU>(SendMessageA(popup, MN_GETHMENU, 0, 0));
  g_shown = ReadMenu(menu);
  // The first entry is the platform's home page.
  PostMessageA(popup, WM_KEYDOWN, VK_DOWN, 0);
  PostMessageA(popup, WM_KEYDOWN, VK_RETURN, 0);
}

TEST(MainMenuWin, ShownMenuSendsTheChosenCommandToItsOwner) {
  MainMenuState state;
  state.loggedIn = true;
  state.inTray = true;

  HWND owner = CreateWindowExA(0, "STATIC", "menu owner", WS_POPUP | WS_VISIBLE, 100, 100, 50, 50,
                               nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
  ASSERT_NE(nullptr, owner);
  SetForegroundWindow(owner);
  SetTimer(owner, 1, 300, ReadOpenMenu);
  ShowMainMenu(state, owner, POINT{120, 300});

  ASSERT_EQ(26u, g_shown.size());
  EXPECT_EQ("1132 Velmora教育资源平台", g_shown.front());
  EXPECT_EQ("1126 显示界面", g_shown[16]);
  MSG msg;
  int command = 0;
  while (PeekMessageA(&msg, owner, 0, 0, PM_REMOVE))
    if (msg.message == WM_COMMAND) command = LOWORD(msg.wParam);
  EXPECT_EQ(1132, command);
  DestroyWindow(owner);
}

}  // namespace
