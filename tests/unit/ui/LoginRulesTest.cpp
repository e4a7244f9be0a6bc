#include <gtest/gtest.h>

#include "FakeDesktop.h"
#include "BuildConfig.h"
#include "store/SettingsStore.h"
#include "ui/LoginRules.h"
#include "unit/store/StoreTestSupport.h"

namespace {

TEST(ServerTextTest, HostAndPortOrRefusal) {
  struct Case {
    const char* text;
    ServerText result;
    const char* host;
    int port;
  } cases[] = {
      {"plat.school.cn", ServerText::Valid, "plat.school.cn", 80},
      {"plat.school.cn:7112", ServerText::Valid, "plat.school.cn", 7112},
      {"  10.0.0.5:9112\t", ServerText::Valid, "10.0.0.5", 9112},
      {"h:1", ServerText::Valid, "h", 1},
      {"h:65535", ServerText::Valid, "h", 65535},
      {"", ServerText::Empty, "", 0},
      {"   \t ", ServerText::Empty, "", 0},
      {"plat.school.cn:abc", ServerText::Invalid, "", 0},
      {"plat.school.cn:", ServerText::Invalid, "", 0},
      {"plat.school.cn:0", ServerText::Invalid, "", 0},
      {"plat.school.cn:65536", ServerText::Invalid, "", 0},
      {"plat.school.cn:4294967376", ServerText::Invalid, "", 0},  // 80 after a 32-bit wrap
      {"plat.school.cn:-80", ServerText::Invalid, "", 0},
      {"plat.school.cn:80x", ServerText::Invalid, "", 0},
      {":7112", ServerText::Invalid, "", 0},
      {"a:b:80", ServerText::Invalid, "", 0},
      {"my host:80", ServerText::Invalid, "", 0},
      {"evil.cn/x?:80", ServerText::Invalid, "", 0},
      {"user@evil.cn", ServerText::Invalid, "", 0},
      // Over HTTPS the scheme stays with the host, in lower case.
      {"https://plat.school.cn", ServerText::Valid, "https://plat.school.cn", 443},
      {" HTTPS://plat.school.cn:9112 ", ServerText::Valid, "https://plat.school.cn", 9112},
      {"https://", ServerText::Invalid, "", 0},
      {"https://:443", ServerText::Invalid, "", 0},
      {"https://h/x", ServerText::Invalid, "", 0},
      {"http://h", ServerText::Invalid, "", 0},
      {"ftp://h", ServerText::Invalid, "", 0},
  };
  for (const Case& c : cases) {
    std::string host = "unchanged";
    int port = -1;
    EXPECT_EQ(ParseServerText(c.text, host, port), c.result) << c.text;
    if (c.result == ServerText::Valid) {
      EXPECT_EQ(host, c.host) << c.text;
      EXPECT_EQ(port, c.port) << c.text;
    } else {
      EXPECT_EQ(host, "unchanged") << c.text;
    }
  }
}

TEST(ServerTextTest, LabelsReadBackAsTheSameServer) {
  struct Case {
    const char* host;
    int port;
    const char* label;
  } cases[] = {
      {"plat.cn", 80, "plat.cn"},
      {"plat.cn", 443, "plat.cn:443"},
      {"https://plat.cn", 443, "https://plat.cn"},
      {"https://plat.cn", 80, "https://plat.cn:80"},
      {"https://plat.cn", 9112, "https://plat.cn:9112"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ServerLabel(c.host, c.port), c.label);
    std::string host;
    int port = 0;
    ASSERT_EQ(ParseServerText(c.label, host, port), ServerText::Valid) << c.label;
    EXPECT_EQ(host, c.host);
    EXPECT_EQ(port, c.port);
  }
}

class LoginPresetTest : public testing::Test {
 protected:
  CServerAccount& Add(const std::string& host, int port, int remember, int autoLogin,
                      int identity) {
    settings.UpdateAccount(host, port, "user@" + host, "pw-" + host, remember, autoLogin,
                           identity, 7, 11, "school");
    return *settings.FindAccount(host, port);
  }
  ScratchDir dir;
  CSettingsStore settings{dir.Path()};
};

TEST_F(LoginPresetTest, ListsEveryAccountInStoreOrderAndSelectsTheFoundOne) {
  Add("a.cn", 80, 1, 0, 0);
  CServerAccount& found = Add("b.cn", 8050, 0, 1, 3);
  Add("c.cn", 9112, 0, 0, 0);
  LoginPreset preset = MakeLoginPreset(settings, &found, "b.cn");
  ASSERT_EQ(preset.items.size(), 3u);
  EXPECT_EQ(preset.items[0].label, "a.cn");
  EXPECT_EQ(preset.items[1].label, "b.cn:8050");
  EXPECT_EQ(preset.items[2].label, "c.cn:9112");
  EXPECT_EQ(preset.selected, 1);
  EXPECT_EQ(preset.fields.identity, 1);  // any identity but 0 is the administrator
  EXPECT_FALSE(preset.fields.remember);
  EXPECT_TRUE(preset.fields.autoLogin);
  EXPECT_TRUE(preset.fields.fillCredentials);
  EXPECT_EQ(preset.fields.user, "user@b.cn");
  EXPECT_EQ(preset.fields.password, "pw-b.cn");
}

TEST_F(LoginPresetTest, FoundAccountWithoutFlagsLeavesAccountAndPasswordAlone) {
  CServerAccount& found = Add("a.cn", 80, 0, 0, 0);
  LoginPreset preset = MakeLoginPreset(settings, &found, "a.cn");
  EXPECT_EQ(preset.selected, 0);
  EXPECT_EQ(preset.fields.identity, 0);
  EXPECT_FALSE(preset.fields.remember);
  EXPECT_FALSE(preset.fields.autoLogin);
  EXPECT_FALSE(preset.fields.fillCredentials);
  EXPECT_EQ(preset.fields.user, "");
}

TEST_F(LoginPresetTest, ServerTextWhenNoAccountIsFound) {
  Add("a.cn", 80, 1, 1, 1);
  const std::string upperSecond = [] {
    std::string s = VELMORA_SECOND_HOST;
    for (char& c : s) c = (char)toupper((unsigned char)c);
    return s;
  }();
  struct Case {
    std::string server, text;
  } cases[] = {
      {"", VELMORA_DEFAULT_HOST},
      {VELMORA_DEFAULT_HOST, VELMORA_DEFAULT_HOST},
      {VELMORA_SECOND_HOST, VELMORA_SECOND_HOST},
      {upperSecond, upperSecond},
      {"school.example", "school.example:9112"},
  };
  for (const Case& c : cases) {
    LoginPreset preset = MakeLoginPreset(settings, nullptr, c.server);
    EXPECT_EQ(preset.serverText, c.text) << c.server;
    EXPECT_EQ(preset.selected, -1);
    EXPECT_EQ(preset.items.size(), 1u);
    EXPECT_EQ(preset.fields.identity, 0);
    EXPECT_TRUE(preset.fields.remember && preset.fields.autoLogin);
    EXPECT_TRUE(preset.fields.fillCredentials);  // the edits are emptied
    EXPECT_EQ(preset.fields.user + preset.fields.password, "");
  }
}

TEST_F(LoginPresetTest, ChoosingAnItemWhoseAccountWasDeletedChangesNothing) {
  Add("a.cn", 80, 1, 1, 1);
  LoginPreset preset = MakeLoginPreset(settings, nullptr, "");
  AccountFields fields;
  ASSERT_TRUE(FieldsOfItem(settings, preset.items[0], fields));
  EXPECT_EQ(fields.user, "user@a.cn");
  settings.RemoveAccount(settings.FindAccount("a.cn", 80));
  fields.user = "kept";
  EXPECT_FALSE(FieldsOfItem(settings, preset.items[0], fields));
  EXPECT_EQ(fields.user, "kept");
}

// A scripted platform: records the calls and answers as told.
struct ScriptedLogin {
  bool ok = true, replied = true;
  int ret = 0;
  std::vector<std::string> calls;
  LoginCall Call() {
    return [this](const std::string& host, int port, const std::string& user,
                  const std::string& password, LoginInfo& info, int& schoolId,
                  std::string& schoolName, bool& outReplied, int kind, const std::string& fid,
                  int& outRet) {
      calls.push_back(host + "|" + std::to_string(port) + "|" + user + "|" + password + "|" +
                      std::to_string(kind) + "|" + fid);
      outReplied = replied;
      outRet = ret;
      info.ss = 99;  // the platform call writes ss even when it fails
      if (!ok) return false;
      info = LoginInfo();
      info.userId = 42;
      info.access = 1;
      info.token = "tk";
      schoolId = 11;
      schoolName = "维墨实验学校";
      return true;
    };
  }
};

class SubmitLoginTest : public testing::Test {
 protected:
  bool Submit(const std::string& server, const std::string& user = "13800000001") {
    LoginInput input;
    input.serverText = server;
    input.user = user;
    input.password = " 123456 ";
    input.identity = 1;
    input.remember = true;
    input.autoLogin = false;
    return SubmitLogin(input, {settings, login, loggedIn, desktop}, platform.Call());
  }
  ScratchDir dir;
  CSettingsStore settings{dir.Path()};
  LoginInfo login;
  bool loggedIn = false;
  FakeDesktop desktop;
  ScriptedLogin platform;
};

TEST_F(SubmitLoginTest, RefusedServerTextsAreToldAndNeverSent) {
  struct Case {
    const char* server;
    const char* message;
  } cases[] = {
      {"  ", "提示|请填写服务器地址！"},
      {"h:", "提示|服务器地址填写错误！"},
      {"h:abc", "提示|服务器地址填写错误！"},
      {"h:0", "提示|服务器地址填写错误！"},
      {"h:65536", "提示|服务器地址填写错误！"},
      {":80", "提示|服务器地址填写错误！"},
  };
  for (const Case& c : cases) {
    desktop.messages.clear();
    EXPECT_FALSE(Submit(c.server)) << c.server;
    EXPECT_EQ(desktop.messages, std::vector<std::string>{c.message}) << c.server;
  }
  EXPECT_TRUE(platform.calls.empty());
}

TEST_F(SubmitLoginTest, EmptyAccountDoesNothing) {
  EXPECT_FALSE(Submit("h:7112", ""));
  EXPECT_TRUE(platform.calls.empty());
  EXPECT_TRUE(desktop.messages.empty());
}

TEST_F(SubmitLoginTest, FailuresAreNamedAndChangeNothing) {
  struct Case {
    bool replied;
    int ret;
    const char* message;
  } cases[] = {
      {false, 0, "提示|登录失败：网络错误或服务器无响应！"},
      {true, 4, "提示|登录失败：用户名或密码错误！"},
      {true, 5, "提示|登录失败：该账户已被禁用！"},
      {true, 0, "提示|登录失败：服务器访问错误！"},
      {true, 17, "提示|登录失败：服务器访问错误！"},
  };
  login.userId = 5;
  login.ss = 3;
  platform.ok = false;
  for (const Case& c : cases) {
    desktop.messages.clear();
    platform.replied = c.replied;
    platform.ret = c.ret;
    EXPECT_FALSE(Submit("h"));
    EXPECT_EQ(desktop.messages, std::vector<std::string>{c.message});
  }
  EXPECT_FALSE(loggedIn);
  EXPECT_EQ(login.ss, 3);
  EXPECT_EQ(login.userId, 5);
  EXPECT_TRUE(settings.m_accounts.empty());
  EXPECT_FALSE(platform::FileExists(settings.DefaultPath()));
}

TEST_F(SubmitLoginTest, SuccessRecordsTheLoginAndSavesTheAccount) {
  ASSERT_TRUE(Submit("  plat.cn:7112 "));
  EXPECT_EQ(platform.calls, std::vector<std::string>{"plat.cn|7112|13800000001| 123456 |1|"});
  EXPECT_TRUE(loggedIn);
  EXPECT_EQ(login.userId, 42);
  EXPECT_EQ(login.ss, 0);
  EXPECT_TRUE(desktop.messages.empty());

  CSettingsStore reread{dir.Path()};
  ASSERT_TRUE(reread.Load());
  EXPECT_EQ(reread.m_strLastHost, "plat.cn");
  EXPECT_EQ(reread.m_nLastPort, 7112);
  CServerAccount* account = reread.FindAccount("plat.cn", 7112);
  ASSERT_NE(account, nullptr);
  EXPECT_EQ(account->m_strUser, "13800000001");
  EXPECT_EQ(account->m_strPassword, " 123456 ");
  EXPECT_EQ(account->m_bRemember, 1);
  EXPECT_EQ(account->m_bAutoLogin, 0);
  EXPECT_EQ(account->m_nIdentity, 1);
  EXPECT_EQ(account->m_nUserId, 42);
  EXPECT_EQ(account->m_nOrgId, 11);
  EXPECT_EQ(account->m_strOrgName, "维墨实验学校");
}

TEST_F(SubmitLoginTest, PasswordIsKeptOnlyWhenABoxAsksForIt) {
  struct Case {
    bool remember, autoLogin;
    const char* stored;
  } cases[] = {{true, false, "pw"}, {false, true, "pw"}, {true, true, "pw"}, {false, false, ""}};
  for (const Case& c : cases) {
    LoginInput input;
    input.serverText = "plat.cn";
    input.user = "u";
    input.password = "pw";
    input.remember = c.remember;
    input.autoLogin = c.autoLogin;
    ASSERT_TRUE(SubmitLogin(input, {settings, login, loggedIn, desktop}, platform.Call()));
    CSettingsStore reread{dir.Path()};
    ASSERT_TRUE(reread.Load());
    CServerAccount* account = reread.FindAccount("plat.cn", 80);
    ASSERT_NE(account, nullptr);
    EXPECT_EQ(account->m_strPassword, c.stored) << c.remember << c.autoLogin;
    EXPECT_EQ(account->m_strUser, "u");
  }
}

TEST_F(SubmitLoginTest, ServerWithoutPortLogsInOnPort80) {
  ASSERT_TRUE(Submit("plat.cn"));
  EXPECT_EQ(platform.calls.at(0).substr(0, 11), "plat.cn|80|");
}

}  // namespace
