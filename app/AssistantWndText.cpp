#include "app/AssistantWndText.h"

#include "store/SettingsStore.h"

std::string MainWindowTooltip(bool loggedIn, const CServerAccount* account) {
  if (!loggedIn) return "未登录";
  if (!account) return "Velmora助手";
  return std::string(account->m_nIdentity != 0 ? "管理员" : "普通用户") + "：" + account->m_strUser;
}

std::string TrayTip(bool loggedIn) {
  return std::string("Velmora 助手——") + (loggedIn ? "已登录" : "未登录");
}
