#include "tools/win/MainMenu.h"

#include "app/AssistantApp.h"
#include "tools/ToolCommands.h"

// Until the whole menu exists: the window's own entries and the CDN server.
void ShowMainMenu(CAssistantApp& app, HWND owner, POINT at, bool inTray) {
  (void)app;
  HMENU menu = CreatePopupMenu();
  AppendMenuA(menu, MF_STRING, 1151, "任意截屏(Alt+Shift+Z)");
  AppendMenuA(menu, MF_STRING, 1128, "关于 Velmora助手...");
  AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuA(menu, MF_STRING, inTray ? 1126 : 1125, inTray ? "显示界面" : "放入托盘（最小化）");
  AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuA(menu, MF_STRING, 1194, "设置CDN服务器...");
  AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuA(menu, MF_STRING, 1127, "退出(&X)");
  TrackPopupMenu(menu, TPM_RIGHTBUTTON, at.x, at.y, 0, owner, nullptr);
  DestroyMenu(menu);
}

bool HandleMenuCommand(CAssistantApp& app, HWND owner, int id) {
  (void)owner;
  if (id == 1194) {
    app.ShowCdnServerDialog();
    return true;
  }
  return RunToolCommand(app, id);
}
