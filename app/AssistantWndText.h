#pragma once
#include <string>

class CServerAccount;

// The floating window's tooltip: "未登录" before a login; after it the
// remembered account of the current server with its identity, or the
// program's name when none is remembered.
std::string MainWindowTooltip(bool loggedIn, const CServerAccount* account);
// The tip of the notification-area icon.
std::string TrayTip(bool loggedIn);
