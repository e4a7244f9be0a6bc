#pragma once
#include <windows.h>

#include "tools/MainMenuLayout.h"

// The main pop-up menu, built anew each time, at a point of the screen: in
// its variant for the main window or for the notification area (which
// offers "显示界面" instead of "放入托盘（最小化）"), as `state` says. The
// chosen entry is sent to `owner` as WM_COMMAND with its command id.
void ShowMainMenu(const MainMenuState& state, HWND owner, POINT at);
