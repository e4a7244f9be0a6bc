#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <functional>
#include <thread>

#include "FakeDesktop.h"
#include "app/AssistantApp.h"
#include "res/login_ids.h"
#include "ui/win/CdnServerDlg.h"
#include "ui/win/LoginDlg.h"
#include "BuildConfig.h"
#include "unit/app/ScopedAppData.h"

namespace {

std::string Text(HWND dialog, int id) {
  char text[512] = "";
  GetDlgItemTextA(dialog, id, text, sizeof text);
  return text;
}

std::string ClassOf(HWND control) {
  char name[64] = "";
  GetClassNameA(control, name, sizeof name);
  return name;
}

// Runs a modal dialog; `whileOpen` gets its window, once shown, on another
// thread; then the dialog is closed if it is still open.
INT_PTR RunModal(const char* caption, const std::function<INT_PTR()>& doModal,
                 const std::function<void(HWND)>& whileOpen) {
  std::atomic<bool> ended{false};
  std::thread watcher([&] {
    HWND window = nullptr;
    for (int i = 0; i < 1000 && !window && !ended; ++i) {
      window = FindWindowA("#32770", caption);
      if (window && !IsWindowVisible(window)) window = nullptr;  // still in WM_INITDIALOG
      Sleep(10);
    }
    if (!window) return;
    whileOpen(window);
    if (!ended) PostMessageA(window, WM_CLOSE, 0, 0);
  });
  INT_PTR result = doModal();
  ended = true;
  watcher.join();
  return result;
}

class LoginDialogs : public testing::Test {
 protected:
  LoginDialogs() : appData("ui-login") {
    services.sharedBlockName = "velmora ui login test block";
    app = std::make_unique<CAssistantApp>(desktop, services);
  }
  ScopedAppData appData;
  FakeDesktop desktop;
  AppServices services;
  std::unique_ptr<CAssistantApp> app;
};

TEST_F(LoginDialogs, LoginTemplateHasEveryControlAndOpensWithTheFirstStartPreset) {
  struct Control {
    int id;
    const char* cls;
  } controls[] = {{IDC_LOGIN_SERVER_LABEL, "Static"}, {IDC_LOGIN_SERVER, "ComboBox"},
                  {IDC_LOGIN_IDENTITY, "ComboBox"},   {IDC_LOGIN_USER, "Edit"},
                  {IDC_LOGIN_PASSWORD, "Edit"},       {IDC_LOGIN_REMEMBER, "Button"},
                  {IDC_LOGIN_AUTO, "Button"},         {IDOK, "Button"}};
  CLoginDlg login(app->LoginContextFor("", 0));
  INT_PTR result = RunModal("登录Velmora平台", [&] { return login.DoModal(nullptr); }, [&](HWND h) {
    for (const Control& c : controls)
      EXPECT_STRCASEEQ(ClassOf(GetDlgItem(h, c.id)).c_str(), c.cls) << c.id;
    EXPECT_TRUE(GetWindowLongA(GetDlgItem(h, IDC_LOGIN_SERVER_LABEL), GWL_STYLE) & SS_NOTIFY);
    EXPECT_TRUE(GetWindowLongA(GetDlgItem(h, IDC_LOGIN_PASSWORD), GWL_STYLE) & ES_PASSWORD);
    EXPECT_TRUE(GetWindowLongA(GetDlgItem(h, IDOK), GWL_STYLE) & BS_DEFPUSHBUTTON);
    EXPECT_TRUE(GetWindowLongA(h, GWL_EXSTYLE) & WS_EX_TOPMOST);
    EXPECT_NE(SendMessageA(h, WM_GETICON, ICON_BIG, 0), 0);
    EXPECT_NE(SendMessageA(h, WM_GETICON, ICON_SMALL, 0), 0);
    EXPECT_EQ(Text(h, IDC_LOGIN_SERVER), VELMORA_DEFAULT_HOST);
    HWND identity = GetDlgItem(h, IDC_LOGIN_IDENTITY);
    EXPECT_EQ(SendMessageA(identity, CB_GETCOUNT, 0, 0), 2);
    EXPECT_EQ(SendMessageA(identity, CB_GETCURSEL, 0, 0), 0);
    EXPECT_EQ(Text(h, IDC_LOGIN_IDENTITY), "普通用户");
    EXPECT_EQ(IsDlgButtonChecked(h, IDC_LOGIN_REMEMBER), BST_CHECKED);
    EXPECT_EQ(IsDlgButtonChecked(h, IDC_LOGIN_AUTO), BST_CHECKED);
  });
  EXPECT_EQ(result, IDCANCEL);
  EXPECT_FALSE(app->m_bLoggedIn);
}

TEST_F(LoginDialogs, EnterInAnEditActsAsTheLoginButton) {
  CLoginDlg login(app->LoginContextFor("", 0));
  RunModal("登录Velmora平台", [&] { return login.DoModal(nullptr); }, [&](HWND h) {
    SendDlgItemMessageA(h, IDC_LOGIN_SERVER, WM_SETTEXT, 0, (LPARAM) "  ");
    SendDlgItemMessageA(h, IDC_LOGIN_USER, WM_SETTEXT, 0, (LPARAM) "13800000001");
    HWND user = GetDlgItem(h, IDC_LOGIN_USER);
    PostMessageA(user, WM_KEYDOWN, VK_RETURN, 0);
    PostMessageA(user, WM_KEYUP, VK_RETURN, 0);
    for (int i = 0; i < 200 && IsWindow(h); ++i) Sleep(10);  // the box is scripted: it returns
    EXPECT_TRUE(IsWindow(h));
  });
  EXPECT_EQ(desktop.messages, std::vector<std::string>{"提示|请填写服务器地址！"});
}

TEST_F(LoginDialogs, SavedAccountIsPreselectedAndChoosingAnotherFillsItsFields) {
  CSettingsStore& settings = *app->m_pSettings;
  settings.UpdateAccount("a.cn", 80, "u-a", "p-a", 1, 0, 0, 1, 2, "s");
  settings.UpdateAccount("b.cn", 7112, "u-b", "p-b", 0, 0, 1, 1, 2, "s");
  CLoginDlg login(app->LoginContextFor("b.cn", 7112));
  RunModal("登录Velmora平台", [&] { return login.DoModal(nullptr); }, [&](HWND h) {
    HWND server = GetDlgItem(h, IDC_LOGIN_SERVER);
    EXPECT_EQ(SendMessageA(server, CB_GETCURSEL, 0, 0), 1);
    EXPECT_EQ(Text(h, IDC_LOGIN_SERVER), "b.cn:7112");
    EXPECT_EQ(SendDlgItemMessageA(h, IDC_LOGIN_IDENTITY, CB_GETCURSEL, 0, 0), 1);
    EXPECT_EQ(Text(h, IDC_LOGIN_USER), "");  // neither box ticked
    SendMessageA(server, CB_SETCURSEL, 0, 0);
    SendMessageA(h, WM_COMMAND, MAKEWPARAM(IDC_LOGIN_SERVER, CBN_SELCHANGE), (LPARAM)server);
    EXPECT_EQ(Text(h, IDC_LOGIN_USER), "u-a");
    EXPECT_EQ(Text(h, IDC_LOGIN_PASSWORD), "p-a");
    EXPECT_EQ(SendDlgItemMessageA(h, IDC_LOGIN_IDENTITY, CB_GETCURSEL, 0, 0), 0);
    EXPECT_EQ(IsDlgButtonChecked(h, IDC_LOGIN_REMEMBER), BST_CHECKED);
    EXPECT_EQ(IsDlgButtonChecked(h, IDC_LOGIN_AUTO), BST_UNCHECKED);
  });
}

TEST_F(LoginDialogs, CdnDialogShowsTheCurrentServerAndKeepsItOnAnEmptyText) {
  SharedState state{};
  StoreCdnServer(state, "10.0.0.8:8080");
  CCdnServerDlg dialog(state, desktop);
  INT_PTR result = RunModal("CDN服务器", [&] { return dialog.DoModal(nullptr); }, [&](HWND h) {
    EXPECT_EQ(Text(h, IDC_CDN_SERVER), "10.0.0.8:8080");
    SetDlgItemTextA(h, IDC_CDN_SERVER, " ");
    SendMessageA(h, WM_COMMAND, IDOK, 0);
    EXPECT_TRUE(IsWindow(h));
  });
  EXPECT_EQ(result, IDCANCEL);
  EXPECT_EQ(desktop.messages, std::vector<std::string>{"提示|请输入CDN服务器地址！"});
  EXPECT_EQ(ReadCdnServer(state), "10.0.0.8:8080");
}

}  // namespace
