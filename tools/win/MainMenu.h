#pragma once
#include <windows.h>

class CAssistantApp;

// The main pop-up menu, built anew each time, at a point of the screen: in
// its variant for the main window or for the notification area (which
// offers "显示界面" instead of "放入托盘（最小化）"). The chosen entry is
// sent to `owner` as WM_COMMAND with its command id.
void ShowMainMenu(CAssistantApp& app, HWND owner, POINT at, bool inTray);

// The menu's commands that the main window does not handle itself; false
// when `id` is not one of them.
bool HandleMenuCommand(CAssistantApp& app, HWND owner, int id);
