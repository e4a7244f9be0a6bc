#pragma once
#include <string>

#include "tools/MainMenuLayout.h"

class CAssistantApp;
namespace platform {
class IFolderPicker;
}

// The main menu's commands that are neither the main window's own (tray,
// show, quit, about) nor the companion tools' (handed on to the tools):
// home page, maker's site, update check, resource directory, clearing the
// cache, CDN server, failed submissions, switching account, screen capture.
// False when `id` is not a command of the menu.
bool RunMenuCommand(CAssistantApp& app, platform::IFolderPicker& picker, int id);

// What the menu offers now: logged in or not, the main window hidden in the
// notification area or not, the server of the last login.
MainMenuState MainMenuStateOf(const CAssistantApp& app, bool inTray);

// The platform's home page for the server of the last login: the default
// host carries the login's token, the second built-in host is always on port
// 8050, any other server is on its own port. Empty for a host that is not a
// plain host name, which must not reach the browser's command line.
std::string HomePageUrl(const std::string& host, int port, const std::string& token);

// The commands one by one.
void OpenHomePage(CAssistantApp& app);
void ChooseResourceDir(CAssistantApp& app, platform::IFolderPicker& picker);
void ClearCachedResources(CAssistantApp& app);
void SwitchAccount(CAssistantApp& app);
