#include <gtest/gtest.h>

#include "app/AssistantWndText.h"
#include "store/SettingsStore.h"

namespace {

TEST(MainWindowTooltipTest, TextByLoginAndIdentity) {
  CServerAccount teacher, admin, odd;
  teacher.m_strUser = "张老师";
  admin.m_strUser = "admin";
  admin.m_nIdentity = 1;
  odd.m_strUser = "x";
  odd.m_nIdentity = -3;  // any identity but 0 is an administrator
  struct Case {
    bool loggedIn;
    const CServerAccount* account;
    std::string text;
  } cases[] = {
      {false, nullptr, "未登录"},
      {false, &admin, "未登录"},
      {true, nullptr, "Velmora助手"},
      {true, &teacher, "普通用户：张老师"},
      {true, &admin, "管理员：admin"},
      {true, &odd, "管理员：x"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.text, MainWindowTooltip(c.loggedIn, c.account));
  EXPECT_EQ("Velmora 助手——已登录", TrayTip(true));
  EXPECT_EQ("Velmora 助手——未登录", TrayTip(false));
}

}  // namespace
