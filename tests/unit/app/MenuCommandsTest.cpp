#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

#include "BuildConfig.h"
#include "FakeDesktop.h"
#include "app/AssistantApp.h"
#include "platform/DirFiles.h"
#include "platform/Files.h"
#include "platform/FolderPicker.h"
#include "tools/MainMenuLayout.h"
#include "unit/app/ScopedAppData.h"
#include "app/MenuCommands.h"

namespace {

// Choices scripted in advance; every request is recorded as "title|preset".
class ScriptedPicker final : public platform::IFolderPicker {
 public:
  std::deque<std::optional<std::string>> choices;
  std::vector<std::string> requests;
  std::optional<std::string> PickFolder(const std::string& title, const std::string& selected) override {
    requests.push_back(title + "|" + selected);
    if (choices.empty()) return std::nullopt;
    std::optional<std::string> choice = choices.front();
    choices.pop_front();
    return choice;
  }
};

// The windows that the commands open, as stand-ins that record their calls.
class MenuApp : public CAssistantApp {
 public:
  using CAssistantApp::CAssistantApp;
  std::vector<std::string> calls;
  int loginUserId = -1;  // -1: the login dialog is cancelled
  std::string loginHost;  // when set, the login remembers its account there, as the dialog does

  bool ShowLoginDialog(const std::string& server, int port) override {
    calls.push_back("login " + server + ":" + std::to_string(port));
    if (loginUserId < 0) return false;
    m_login.userId = loginUserId;
    m_login.token = "token of " + std::to_string(loginUserId);
    m_bLoggedIn = true;
    if (!loginHost.empty()) {
      m_pSettings->UpdateAccount(loginHost, 9112, "user" + std::to_string(loginUserId), "pw", 1, 0,
                                 0, loginUserId, 0, "");
      m_pSettings->Save();
    }
    return true;
  }
  void ShowCdnServerDialog() override { calls.push_back("cdn"); }
  void ShowExamErrorList() override { calls.push_back("exam errors"); }
  void StartScreenCapture() override { calls.push_back("capture"); }
  void UpdateMainWindowTooltip() override { calls.push_back("tooltip"); }
};

AppServices TestServices() {
  AppServices services;
  services.instanceMutexName = "velmora menu test instance";
  services.slotMutexName = "velmora menu test slots";
  services.sharedBlockName = "velmora menu test block";
  return services;
}

class MenuCommandsTest : public testing::Test {
 protected:
  MenuCommandsTest() : appData("menu"), app(desktop, TestServices()) {
    app.m_login.userId = 42;
    app.m_bLoggedIn = true;
    EXPECT_TRUE(app.PrepareUserDirs());
    app.m_pFileList->SetHash("1001", "h1");
    app.m_pFileList->SetHash("1002", "h2");
    resourceDir = app.m_pFileList->m_strResourceDir;
  }

  std::string DataDir() const { return app.m_pSettings->m_strDataDir; }
  std::string MakeDir(const std::string& path) {
    std::filesystem::create_directories(Native(path));
    return path;
  }
  std::filesystem::path Native(const std::string& path) const {
    std::string native = path;
    for (char& c : native)
      if (c == '\\') c = '/';
    return native;
  }
  void Write(const std::string& path, const std::string& text) {
    std::ofstream(Native(path), std::ios::binary) << text;
  }
  std::string Read(const std::string& path) {
    std::ifstream in(Native(path), std::ios::binary);
    if (!in) return "<missing>";
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  std::set<std::string> Files(const std::string& dir) {
    std::vector<std::string> names = platform::ListFileNames(dir);
    return std::set<std::string>(names.begin(), names.end());
  }
  // Listed and unlisted files side by side: ids 1001 and 1002 are the
  // account's, 2001 another account's; "1001.d" is a directory.
  void FillResourceDir(const std::string& dir) {
    for (const char* name : {"1001.pdf", "1002.part.doc", "2001.pdf", "1001", ".1001", "readme"})
      Write(dir + "\\" + name, name);
    MakeDir(dir + "\\1001.d");
    Write(dir + "\\1001.d\\1002.pdf", "inside");
  }
  const std::set<std::string> kUnlisted = {"2001.pdf", "1001", ".1001", "readme"};

  ScopedAppData appData;
  FakeDesktop desktop;
  MenuApp app;
  ScriptedPicker picker;
  std::string resourceDir;
};

TEST(HomePageUrlTest, ByHostOfTheLastLogin) {
  const std::string def = VELMORA_DEFAULT_HOST, second = VELMORA_SECOND_HOST;
  std::string upperDef = def;
  for (char& c : upperDef) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
  struct Case {
    std::string host;
    int port;
    std::string token, url;
  } cases[] = {
      {def, 80, "T0K3N", "http://" + def + "/index.html?token=T0K3N"},
      {upperDef, 9112, "T0K3N", "http://" + upperDef + "/index.html?token=T0K3N"},
      {def, 80, "", "http://" + def + "/index.html?token="},
      // A token cannot end the query or the address.
      {def, 80, "a b&c=d#e\"", "http://" + def + "/index.html?token=a%20b%26c%3Dd%23e%22"},
      {second, 80, "T", "http://" + second + ":8050/"},
      {second, 8080, "T", "http://" + second + ":8050/"},
      {"10.0.0.5", 8080, "T", "http://10.0.0.5:8080/"},
      {"school-1.example.org", 80, "T", "http://school-1.example.org:80/"},
      // A server entered with https:// opens its pages over HTTPS.
      {"https://" + def, 443, "T", "https://" + def + "/index.html?token=T"},
      {"https://" + second, 443, "T", "https://" + second + ":8050/"},
      {"https://10.0.0.5", 8443, "T", "https://10.0.0.5:8443/"},
      {"https://evil.org/x", 443, "T", ""},
      // Not a host name: nothing reaches the browser.
      {"", 80, "T", ""},
      {"evil.org/x", 80, "T", ""},
      {"a\" --new-window", 80, "T", ""},
      {"host name", 80, "T", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(c.url, HomePageUrl(c.host, c.port, c.token)) << c.host;
}

TEST_F(MenuCommandsTest, CommandsReachTheirWindowsAndTheShell) {
  app.m_pSettings->m_strLastHost = "10.0.0.5";
  app.m_pSettings->m_nLastPort = 8080;
  for (int id : {1132, 1135, 1194, 1184, 1151}) EXPECT_TRUE(RunMenuCommand(app, picker, id)) << id;
  EXPECT_EQ((std::vector<std::string>{"http://10.0.0.5:8080/", "http://www.velmora.com/"}),
            desktop.opened);
  EXPECT_EQ((std::vector<std::string>{"cdn", "exam errors", "capture"}), app.calls);
  // Neither the menu's nor a companion tool's.
  EXPECT_FALSE(RunMenuCommand(app, picker, 9999));
}

TEST_F(MenuCommandsTest, UnsafeHostOpensNothing) {
  app.m_pSettings->m_strLastHost = "x\" /c calc";
  EXPECT_TRUE(RunMenuCommand(app, picker, 1132));
  EXPECT_TRUE(desktop.opened.empty());
}

TEST_F(MenuCommandsTest, MoveTakesOnlyListedFilesAndSavesTheDirectory) {
  FillResourceDir(resourceDir);
  const std::string target = MakeDir(DataDir() + "\\new place");
  Write(target + "\\1002.part.doc", "already there");
  picker.choices.push_back(target + "\\");
  EXPECT_TRUE(RunMenuCommand(app, picker, 1150));

  // The default directory is current: the picker opens without a selection.
  EXPECT_EQ((std::vector<std::string>{"请选择资源存放的目录：|"}), picker.requests);
  EXPECT_EQ(kUnlisted, Files(resourceDir));
  EXPECT_EQ("inside", Read(resourceDir + "\\1001.d\\1002.pdf"));
  EXPECT_EQ((std::set<std::string>{"1001.pdf", "1002.part.doc"}), Files(target));  // no probe left
  EXPECT_EQ("1001.pdf", Read(target + "\\1001.pdf"));
  // The list's hash describes the file that was moved: it replaces the other.
  EXPECT_EQ("1002.part.doc", Read(target + "\\1002.part.doc"));
  EXPECT_EQ(target, app.m_pFileList->m_strResourceDir);
  CFileListStore saved;
  saved.SetDataDir(DataDir());
  ASSERT_TRUE(saved.LoadState());
  EXPECT_EQ(target, saved.m_strResourceDir);
  EXPECT_EQ((std::vector<std::string>{"提示|设置成功，已下载的资源已转移到新目录中！"}), desktop.messages);

  // From a directory other than the default one, the picker starts there.
  RunMenuCommand(app, picker, 1150);
  EXPECT_EQ("请选择资源存放的目录：|" + target, picker.requests.back());
}

TEST_F(MenuCommandsTest, SameDirectoryOrCancelChangesNothing) {
  FillResourceDir(resourceDir);
  std::string otherCase = resourceDir;
  for (char& c : otherCase) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
  for (std::optional<std::string> choice :
       {std::optional<std::string>(), std::optional<std::string>(resourceDir),
        std::optional<std::string>(resourceDir + "\\"), std::optional<std::string>(otherCase)}) {
    picker.choices.push_back(choice);
    RunMenuCommand(app, picker, 1150);
  }
  EXPECT_EQ(resourceDir, app.m_pFileList->m_strResourceDir);
  EXPECT_EQ(kUnlisted.size() + 2, Files(resourceDir).size());
  EXPECT_TRUE(desktop.messages.empty());
}

TEST_F(MenuCommandsTest, AFolderNameEndingInTheByteOfABackslashIsKeptWhole) {
  FillResourceDir(resourceDir);
  // A double-byte character whose second byte is 0x5C ends the name.
  const std::string target = DataDir() + "\\资料\x95\x5C";
  ASSERT_TRUE(platform::CreateDir(target));
  for (const std::string& choice : {target, target + "\\"}) {
    app.m_pFileList->m_strResourceDir = resourceDir;
    picker.choices.push_back(choice);
    RunMenuCommand(app, picker, 1150);
    EXPECT_EQ(target, app.m_pFileList->m_strResourceDir);
  }
  EXPECT_EQ((std::set<std::string>{"1001.pdf", "1002.part.doc"}), Files(target));
}

TEST_F(MenuCommandsTest, ADirectoryThatCannotHoldFilesChangesNothing) {
  FillResourceDir(resourceDir);
  picker.choices.push_back(DataDir() + "\\gone");  // removed while the picker was open
  RunMenuCommand(app, picker, 1150);
  EXPECT_EQ(resourceDir, app.m_pFileList->m_strResourceDir);
  EXPECT_EQ(kUnlisted.size() + 2, Files(resourceDir).size());
  EXPECT_EQ((std::vector<std::string>{"提示|无法在所选目录中保存资源，资源存放目录未更改！"}),
            desktop.messages);
}

// The next start reads the directory from the state file: when it cannot be
// saved, nothing moves and the user is not told it did.
TEST_F(MenuCommandsTest, ADirectoryThatCannotBeSavedMovesNothing) {
  FillResourceDir(resourceDir);
  const std::string target = MakeDir(DataDir() + "\\new place");
  CFileListStore& list = *app.m_pFileList;
  ASSERT_TRUE(list.SaveState());
  {
    // A scanner held the state file for longer than a load waits: what the
    // store read may be stale, so it does not save over the file.
    platform::File scanner;
    ASSERT_TRUE(scanner.Open(list.StatePath(), platform::FileMode::Read));
    list.LoadState();
  }
  picker.choices.push_back(target);
  RunMenuCommand(app, picker, 1150);
  EXPECT_EQ(resourceDir, app.m_pFileList->m_strResourceDir);
  EXPECT_EQ(kUnlisted.size() + 2, Files(resourceDir).size());
  EXPECT_TRUE(Files(target).empty());
  EXPECT_EQ((std::vector<std::string>{
                "提示|设置无法保存（数据文件正被其他程序使用或无法写入），资源存放目录未更改！"}),
            desktop.messages);
}

TEST_F(MenuCommandsTest, TheSameDirectoryUnderAnotherSpellingKeepsEveryFile) {
  FillResourceDir(resourceDir);
  picker.choices.push_back(resourceDir + "\\.");
  RunMenuCommand(app, picker, 1150);
  // Each listed file "already exists" in the new directory: it is itself.
  EXPECT_EQ("1001.pdf", Read(resourceDir + "\\1001.pdf"));
  EXPECT_EQ("1002.part.doc", Read(resourceDir + "\\1002.part.doc"));
}

TEST_F(MenuCommandsTest, MoveIntoItsOwnSubdirectory) {
  FillResourceDir(resourceDir);
  const std::string sub = MakeDir(resourceDir + "\\sub");
  picker.choices.push_back(sub);
  RunMenuCommand(app, picker, 1150);
  EXPECT_EQ((std::set<std::string>{"1001.pdf", "1002.part.doc"}), Files(sub));
  EXPECT_EQ(kUnlisted, Files(resourceDir));
  EXPECT_EQ(sub, app.m_pFileList->m_strResourceDir);
}

TEST_F(MenuCommandsTest, WithoutAResourceDirectoryNothingIsMoved) {
  app.m_pFileList->m_strResourceDir.clear();
  const std::string target = MakeDir(DataDir() + "\\target");
  picker.choices.push_back(target);
  RunMenuCommand(app, picker, 1150);
  EXPECT_TRUE(Files(target).empty());
  EXPECT_EQ(target, app.m_pFileList->m_strResourceDir);
}

TEST_F(MenuCommandsTest, ClearDeletesOnlyListedFilesAfterYes) {
  const std::string logoDir = DataDir() + "\\00000042\\LOGO";
  FillResourceDir(resourceDir);
  FillResourceDir(logoDir);

  desktop.answers = {false};
  RunMenuCommand(app, picker, 1137);
  EXPECT_EQ(kUnlisted.size() + 2, Files(resourceDir).size());
  EXPECT_TRUE(desktop.messages.empty());

  desktop.answers = {true};
  RunMenuCommand(app, picker, 1137);
  const std::string question = "提示|清空缓存资源后，打开资源需要重新下载，确定要清空么？";
  EXPECT_EQ((std::vector<std::string>{question, question}), desktop.questions);
  EXPECT_EQ(kUnlisted, Files(resourceDir));
  EXPECT_EQ(kUnlisted, Files(logoDir));
  EXPECT_EQ("inside", Read(resourceDir + "\\1001.d\\1002.pdf"));
  EXPECT_EQ((std::vector<std::string>{"提示|清空完毕！"}), desktop.messages);
  EXPECT_EQ(2u, app.m_pFileList->m_entries.size());  // the list's entries stay
}

TEST_F(MenuCommandsTest, ClearIgnoresListEntriesThatNameNoFile) {
  FillResourceDir(resourceDir);
  for (const char* id : {"", ".", "..", "..\\..\\2001"}) app.m_pFileList->SetHash(id, "x");
  desktop.answers = {true};
  RunMenuCommand(app, picker, 1137);
  EXPECT_EQ(kUnlisted, Files(resourceDir));
}

TEST_F(MenuCommandsTest, SwitchAccountReloadsAndUpdatesTheTooltip) {
  CSettingsStore onDisk(appData.Path());
  onDisk.UpdateAccount("10.0.0.9", 9112, "teacher", "pw", 1, 0, 1, 77, 0, "");
  ASSERT_TRUE(onDisk.Save());

  app.loginUserId = 77;
  RunMenuCommand(app, picker, 1129);
  EXPECT_EQ((std::vector<std::string>{"login 10.0.0.9:9112", "tooltip"}), app.calls);
  ASSERT_NE(nullptr, app.FindSavedAccount("", 0));
  EXPECT_EQ("teacher", app.FindSavedAccount("", 0)->m_strUser);
  // The new account works on its own directories and list.
  EXPECT_EQ(DataDir() + "\\00000077\\FILE", app.m_strFileDir);
  EXPECT_EQ(nullptr, app.m_pFileList->FindHash("1001"));

  app.calls.clear();
  app.loginUserId = -1;
  RunMenuCommand(app, picker, 1129);
  EXPECT_EQ((std::vector<std::string>{"login 10.0.0.9:9112", "tooltip"}), app.calls);
  EXPECT_EQ(DataDir() + "\\00000077\\FILE", app.m_strFileDir);
}

TEST_F(MenuCommandsTest, ASwitchToAUserWhoseDirectoriesCannotBeMadeKeepsThePreviousLogin) {
  // The previous user, 42, logged in on 10.0.0.5:9112.
  app.m_login.token = "token of 42";
  app.m_pSettings->UpdateAccount("10.0.0.5", 9112, "user42", "pw", 1, 0, 0, 42, 0, "");
  ASSERT_TRUE(app.m_pSettings->Save());
  const std::string examPath = app.m_pExamErrors->GetPath();
  struct Case {
    int user;
    const char* blocker;  // a file where a directory of the user must go
    const char* host;     // the new login's server
  } cases[] = {
      {77, "00000077", "10.0.0.5"},       // the account directory, on the same server
      {78, "00000078\\FILE", "10.0.0.5"}, // the resource directory
      {79, "00000079", "10.0.0.9"},       // a server not remembered before
  };
  for (const Case& c : cases) {
    MakeDir(DataDir() + "\\00000078");
    Write(DataDir() + "\\" + c.blocker, "not a directory");
    desktop.messages.clear();
    app.loginUserId = c.user;
    app.loginHost = c.host;
    RunMenuCommand(app, picker, 1129);

    EXPECT_EQ((std::vector<std::string>{"提示|创建Account目录失败！"}), desktop.messages) << c.user;
    EXPECT_EQ(42, app.m_login.userId) << c.user;
    EXPECT_EQ("token of 42", app.m_login.token) << c.user;
    EXPECT_TRUE(app.m_bLoggedIn);
    EXPECT_EQ(DataDir() + "\\00000042\\FILE", app.m_strFileDir) << c.user;
    EXPECT_EQ(examPath, app.m_pExamErrors->GetPath()) << c.user;
    EXPECT_NE(nullptr, app.m_pFileList->FindHash("1001")) << c.user;
    CSettingsStore onDisk(appData.Path());
    ASSERT_TRUE(onDisk.Load());
    for (CSettingsStore* settings : {app.m_pSettings.get(), &onDisk}) {
      EXPECT_EQ("10.0.0.5", settings->m_strLastHost) << c.user;
      const CServerAccount* last = settings->FindAccount("10.0.0.5", 9112);
      ASSERT_NE(nullptr, last) << c.user;
      EXPECT_EQ("user42", last->m_strUser) << c.user;
      EXPECT_EQ(nullptr, settings->FindAccount("10.0.0.9", 9112)) << c.user;
    }
  }
}

TEST_F(MenuCommandsTest, SwitchToTheSameAccountKeepsItsList) {
  app.loginUserId = 42;
  RunMenuCommand(app, picker, 1129);
  EXPECT_NE(nullptr, app.m_pFileList->FindHash("1001"));  // not reloaded from the (unsaved) file
}

}  // namespace

// Where IT set the cache server or took over updates, the menu says so and
// opens nothing.
TEST(ManagedMenuCommandsTest, UpdatesAndCacheServerOfTheAdministrator) {
  ScopedAppData appData("menu-policy");
  FakeDesktop desktop;
  platform::MemoryPolicyStore policy;
  policy.m_strings["CdnServer"] = "10.1.0.8:8000";
  policy.m_numbers["UpdateCheck"] = 0;
  AppServices services = TestServices();
  services.policy = &policy;
  MenuApp app(desktop, services);
  ScriptedPicker picker;
  EXPECT_TRUE(RunMenuCommand(app, picker, IDM_CDN_SERVER));
  EXPECT_TRUE(RunMenuCommand(app, picker, IDM_CHECK_UPDATE));
  EXPECT_TRUE(app.calls.empty());
  EXPECT_EQ((std::vector<std::string>{"提示|CDN服务器已由管理员设置为：10.1.0.8:8000",
                                      "提示|本机的软件更新由管理员统一管理，请联系管理员。"}),
            desktop.messages);
}
