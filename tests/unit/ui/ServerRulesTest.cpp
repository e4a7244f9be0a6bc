#include <gtest/gtest.h>

#include <cstring>

#include "FakeDesktop.h"
#include "store/SettingsStore.h"
#include "ui/ServerRules.h"
#include "unit/store/StoreTestSupport.h"

namespace {

TEST(ServerListButtonsTest, EnabledByRowsAndSelection) {
  struct Case {
    int rows, selected;
    bool del, clear;
  } cases[] = {{0, 0, false, false}, {3, 0, false, true}, {3, 1, true, true}, {3, 3, true, true}};
  for (const Case& c : cases) {
    ServerListButtons buttons = ServerListButtonState(c.rows, c.selected);
    EXPECT_EQ(buttons.deleteEnabled, c.del) << c.rows << "/" << c.selected;
    EXPECT_EQ(buttons.clearEnabled, c.clear) << c.rows << "/" << c.selected;
  }
}

class ServerRemovalTest : public testing::Test {
 protected:
  ServerRemovalTest() {
    for (const char* host : {"a.cn", "b.cn", "c.cn", "d.cn"})
      settings.UpdateAccount(host, 80, "u", "p", 1, 0, 0, 1, 2, "s");
    settings.Save();
  }
  std::vector<const CServerAccount*> Accounts(std::initializer_list<const char*> hosts) {
    std::vector<const CServerAccount*> found;
    for (const char* host : hosts) found.push_back(settings.FindAccount(host, 80));
    return found;
  }
  std::vector<std::string> SavedHosts() {
    CSettingsStore reread{dir.Path()};
    reread.Load();
    std::vector<std::string> hosts;
    for (const CServerAccount& account : reread.m_accounts) hosts.push_back(account.m_strHost);
    return hosts;
  }
  ScratchDir dir;
  CSettingsStore settings{dir.Path()};
  FakeDesktop desktop;
};

TEST_F(ServerRemovalTest, DeleteRemovesEverySelectedRowAfterYesAndSaves) {
  desktop.answers = {true};
  EXPECT_TRUE(DeleteServers(settings, desktop, Accounts({"a.cn", "c.cn", "d.cn"})));
  EXPECT_EQ(desktop.questions, std::vector<std::string>{"提示|确定要删除选定的服务器么？"});
  EXPECT_EQ(SavedHosts(), std::vector<std::string>{"b.cn"});
}

TEST_F(ServerRemovalTest, ClearRemovesAllAfterYesAndSaves) {
  desktop.answers = {true};
  EXPECT_TRUE(ClearServers(settings, desktop, Accounts({"a.cn", "b.cn", "c.cn", "d.cn"})));
  EXPECT_EQ(desktop.questions, std::vector<std::string>{"提示|确定要清空所有服务器么？"});
  EXPECT_TRUE(settings.m_accounts.empty());
  EXPECT_TRUE(SavedHosts().empty());
}

TEST_F(ServerRemovalTest, NoKeepsEveryAccount) {
  desktop.answers = {false, false};
  EXPECT_FALSE(DeleteServers(settings, desktop, Accounts({"a.cn"})));
  EXPECT_FALSE(ClearServers(settings, desktop, Accounts({"a.cn", "b.cn", "c.cn", "d.cn"})));
  EXPECT_EQ(settings.m_accounts.size(), 4u);
  EXPECT_EQ(SavedHosts().size(), 4u);
}

TEST_F(ServerRemovalTest, NothingSelectedAsksNothing) {
  EXPECT_FALSE(DeleteServers(settings, desktop, {}));
  EXPECT_TRUE(desktop.questions.empty());
}

class CdnDialogTextTest : public testing::Test {
 protected:
  bool Accept(const std::string& text, bool answers = true) {
    return AcceptCdnServer(text, state, desktop, [&](const std::string& url) {
      checked.push_back(url);
      return answers;
    });
  }
  SharedState state{};
  FakeDesktop desktop;
  std::vector<std::string> checked;
};

TEST_F(CdnDialogTextTest, ReachableServerIsStoredWithoutItsBlanks) {
  EXPECT_TRUE(Accept("  10.0.0.8:8080\t"));
  EXPECT_EQ(checked, std::vector<std::string>{"http://10.0.0.8:8080/command/check.do"});
  EXPECT_EQ(ReadCdnServer(state), "10.0.0.8:8080");
  EXPECT_TRUE(desktop.messages.empty());
}

TEST_F(CdnDialogTextTest, RefusedTextsKeepTheCurrentServer) {
  const std::string tooLong(CDN_SERVER_SIZE, 'a');
  struct Case {
    std::string text;
    bool answers;
    bool asked;
    std::string message;
  } cases[] = {
      {"", true, false, "提示|请输入CDN服务器地址！"},
      {"   ", true, false, "提示|请输入CDN服务器地址！"},
      {"10.0.0.9:8080", false, true, "提示|无法连接到服务器“10.0.0.9:8080”！"},
      {"cdn host:80", true, false, "提示|无法连接到服务器“cdn host:80”！"},
      {"evil.cn/x?", true, false, "提示|无法连接到服务器“evil.cn/x?”！"},
      {"me@evil.cn", true, false, "提示|无法连接到服务器“me@evil.cn”！"},
      {"cdn:0", true, false, "提示|无法连接到服务器“cdn:0”！"},
      {"cdn:65536", true, false, "提示|无法连接到服务器“cdn:65536”！"},
      {tooLong, true, false, "提示|无法连接到服务器“" + tooLong + "”！"},
  };
  for (const Case& c : cases) {
    StoreCdnServer(state, "10.0.0.1:80");
    desktop.messages.clear();
    checked.clear();
    EXPECT_FALSE(Accept(c.text, c.answers)) << c.text;
    EXPECT_EQ(checked.size(), c.asked ? 1u : 0u) << c.text;
    EXPECT_EQ(desktop.messages, std::vector<std::string>{c.message}) << c.text;
    EXPECT_EQ(ReadCdnServer(state), "10.0.0.1:80") << c.text;
  }
}

}  // namespace
