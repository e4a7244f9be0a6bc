#pragma once
#include <string>
#include <vector>

// Command ids of the main pop-up menu, as the main window receives them.
enum MainMenuCommand {
  IDM_TRAY_HIDE = 1125,
  IDM_TRAY_SHOW = 1126,
  IDM_EXIT = 1127,
  IDM_ABOUT = 1128,
  IDM_SWITCH_ACCOUNT = 1129,
  IDM_HOME_PAGE = 1132,
  IDM_MAKER_SITE = 1135,
  IDM_CHECK_UPDATE = 1136,
  IDM_CLEAR_CACHE = 1137,
  IDM_INSTALL_VIEWER = 1145,
  IDM_INSTALL_OFFICE = 1148,
  IDM_RESOURCE_DIR = 1150,
  IDM_SCREEN_CAPTURE = 1151,
  IDM_BROWSE_PLUGIN = 1157,
  IDM_MICRO_COURSE = 1158,
  IDM_DOWNLOAD_VIEWER = 1164,
  IDM_TOOLS_DIR = 1174,
  IDM_EXAM_ERRORS = 1184,
  IDM_CDN_SERVER = 1194,
};

// One entry of the menu: a command, a separator line, or a sub-menu.
struct MainMenuEntry {
  enum class Kind { Command, Separator, SubMenu };
  Kind kind = Kind::Separator;
  int id = 0;                          // commands only
  std::string text;                    // commands and sub-menus
  std::vector<MainMenuEntry> entries;  // a sub-menu's own entries
};

// What the menu depends on when it is shown.
struct MainMenuState {
  bool loggedIn = false;
  bool inTray = false;    // the main window is hidden in the notification area
  std::string lastHost;   // the server of the last login
};

// The menu's entries from top to bottom, built anew each time it is shown.
std::vector<MainMenuEntry> MainMenuLayout(const MainMenuState& state);

// The name of the platform instance that serves `host` (letter case
// ignored); a host that is not a known instance shows the first one's name.
std::string PlatformDisplayName(const std::string& host);

// The maker's web site (entry and address of command 1135).
inline constexpr char MAKER_SITE_TEXT[] = "访问Velmora官方网站";
inline constexpr char MAKER_SITE_URL[] = "http://www.velmora.com/";
