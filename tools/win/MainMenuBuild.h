#pragma once
#include <windows.h>

#include <vector>

#include "tools/MainMenuLayout.h"

// A pop-up menu holding `entries` (sub-menus as pop-ups of their own);
// destroyed by the caller with DestroyMenu. Null when the system has no
// menus left.
HMENU CreateMainMenu(const std::vector<MainMenuEntry>& entries);
