#include <gtest/gtest.h>

#include "net/PlatformApi.h"

TEST(LoginFailureMessage, NamesTheCauseByRepliedAndRet) {
  struct Case {
    bool replied;
    int ret;
    const char* message;
  } cases[] = {
      {false, 4, "登录失败：网络错误或服务器无响应！"},  // no answer wins over a stale ret
      {true, 4, "登录失败：用户名或密码错误！"},
      {true, 5, "登录失败：该账户已被禁用！"},
      {true, 0, "登录失败：服务器访问错误！"},  // parsed, but no account in the reply
      {true, -1, "登录失败：服务器访问错误！"},
  };
  for (const Case& c : cases)
    EXPECT_STREQ(LoginFailureMessage(c.replied, c.ret), c.message) << c.replied << " " << c.ret;
}
