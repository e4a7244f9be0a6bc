#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <iterator>

#include "FakeDesktop.h"
#include "app/AssistantApp.h"
#include "app/CommandLine.h"
#include "platform/Files.h"
#include "platform/MemoryRegistry.h"
#include "unit/app/FakeShortcutShell.h"
#include "unit/app/ScopedAppData.h"

using platform::RegRoot;

namespace {

const std::string kProgram = "C:\\Velmora\\VelmoraURL.exe";
const std::string kUrl = "velmoraurl://exe:C:/tools/run.exe";
const std::string kWithUrl = "\"" + kProgram + "\" \"" + kUrl + "\"";
const std::string kWithoutUrl = "\"" + kProgram + "\"";

// An application whose later parts are stand-ins that record when start-up
// reaches them.
class RecordingApp : public CAssistantApp {
 public:
  using CAssistantApp::CAssistantApp;
  std::vector<std::string> steps;
  bool updateAccepted = true;
  int loginUserId = -1;  // -1: the login is cancelled

 protected:
  void StartCdnListener() override { steps.push_back("listener"); }
  bool CheckForUpdate() override {
    steps.push_back("update");
    return updateAccepted;
  }
  void CreateAddinInstallWindow() override { steps.push_back("add-in window"); }
  bool ShowLoginDialog(const std::string&, int) override {
    steps.push_back("login");
    if (loginUserId < 0) return false;
    m_login.userId = loginUserId;
    m_bLoggedIn = true;
    return true;
  }
  void RunMainWindow() override { steps.push_back("main window"); }
  void LoadExamErrors(const std::string& path) override { steps.push_back("exam errors " + path); }
};

using Steps = std::vector<std::string>;

class StartupTest : public testing::Test {
 protected:
  StartupTest() : appData("startup") {
    services.registry = &registry;
    services.shell = &shell;
    services.programPath = kProgram;
    // Names of this test's own: test programs run side by side.
    const std::string own = std::to_string(
        std::chrono::steady_clock::now().time_since_epoch().count());
    services.instanceMutexName = "velmora startup test instance " + own;
    services.slotMutexName = "velmora startup test slots " + own;
    services.sharedBlockName = "velmora startup test block " + own;
  }

  // Another process of the program runs already.
  void HoldInstanceMutex() {
    bool existed = false;
    ASSERT_TRUE(firstProcess.Create(services.instanceMutexName, true, &existed));
    ASSERT_FALSE(existed);
  }

  std::string ReadLog() {
    std::ifstream in(appData.Native("VelmoraURL.log"), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  std::string DataDir() { return appData.Path() + "\\VelmoraWeb"; }

  ScopedAppData appData;
  platform::CMemoryRegistry registry;
  FakeShortcutShell shell;
  FakeDesktop desktop;
  AppServices services;
  platform::CNamedMutex firstProcess;
};

}  // namespace

TEST_F(StartupTest, FirstStartWithUrlRunsItThenTheMainWindow) {
  RecordingApp app(desktop, services);
  EXPECT_EQ(0, app.Run(kWithUrl));
  EXPECT_EQ((Steps{"listener", "update", "add-in window", "main window"}), app.steps);
  EXPECT_FALSE(app.m_bAlreadyRunning);
  EXPECT_EQ(1u, desktop.questions.size());  // the exe form asks before it starts anything
  EXPECT_EQ(kProgram, registry.Get(RegRoot::ClassesRoot, "VelmoraURL", "URL Protocol"));
  EXPECT_EQ(1u, shell.links.size());
  EXPECT_NE(std::string::npos, ReadLog().find("]:" + kUrl + "\r\n"));
  EXPECT_TRUE(platform::IsDirectory(DataDir()));
  EXPECT_TRUE(platform::IsDirectory(DataDir() + "\\Tools"));
}

TEST_F(StartupTest, LaterStartWithUrlRunsItAndEnds) {
  HoldInstanceMutex();
  RecordingApp app(desktop, services);
  app.Run(kWithUrl);
  EXPECT_EQ((Steps{"listener", "add-in window"}), app.steps);  // no update check, no window
  EXPECT_TRUE(app.m_bAlreadyRunning);
  EXPECT_EQ(1u, desktop.questions.size());
}

TEST_F(StartupTest, LaterStartWithoutUrlEndsAtOnce) {
  HoldInstanceMutex();
  RecordingApp app(desktop, services);
  app.Run(kWithoutUrl);
  EXPECT_EQ((Steps{"listener", "add-in window"}), app.steps);
  EXPECT_TRUE(desktop.questions.empty());
  EXPECT_TRUE(desktop.messages.empty());
}

// Until the login dialog exists the login is never OK, so this is how a
// first start without a URL ends today.
TEST_F(StartupTest, FirstStartWithoutUrlEndsWhenTheLoginIsCancelled) {
  RecordingApp app(desktop, services);
  app.Run(kWithoutUrl);
  EXPECT_EQ((Steps{"listener", "update", "add-in window", "login"}), app.steps);
  EXPECT_TRUE(app.m_strFileDir.empty());
}

TEST_F(StartupTest, LoginPreparesTheAccountDirectories) {
  RecordingApp app(desktop, services);
  app.loginUserId = 42;
  app.Run(kWithoutUrl);
  const std::string account = DataDir() + "\\00000042";
  EXPECT_EQ((Steps{"listener", "update", "add-in window", "login",
                   "exam errors " + account + "\\examerr.data", "main window"}),
            app.steps);
  EXPECT_TRUE(platform::IsDirectory(account));
  EXPECT_TRUE(platform::IsDirectory(account + "\\FILE"));
  EXPECT_TRUE(platform::IsDirectory(account + "\\LOGO"));
  EXPECT_EQ(account + "\\FILE", app.m_strFileDir);
  EXPECT_EQ(app.m_strFileDir, app.m_pFileList->m_strResourceDir);
  // The default resource directory was saved for the next start.
  CFileListStore state;
  state.SetDataDir(DataDir());
  ASSERT_TRUE(state.LoadState());
  EXPECT_EQ(account + "\\FILE", state.m_strResourceDir);
}

TEST_F(StartupTest, AccountDirectoryNameIsTheUserIdInEightDigits) {
  RecordingApp app(desktop, services);
  struct Case {
    int userId;
    const char* name;
  } cases[] = {{42, "00000042"}, {0, "00000000"}, {123456789, "123456789"}, {-7, "-0000007"}};
  for (const Case& c : cases) {
    app.m_login.userId = c.userId;
    EXPECT_EQ(c.name, app.GetAccountDirName());
  }
}

TEST_F(StartupTest, AnExistingResourceDirectoryIsKept) {
  const std::string own = appData.Path() + "\\resources";
  ASSERT_TRUE(platform::CreateDir(own));
  RecordingApp app(desktop, services);
  app.m_pFileList->m_strResourceDir = own;
  app.m_login.userId = 7;
  EXPECT_TRUE(app.PrepareUserDirs());
  EXPECT_EQ(own, app.m_pFileList->m_strResourceDir);
  EXPECT_TRUE(desktop.messages.empty());
}

TEST_F(StartupTest, AccountDirectoryThatCannotBeMadeIsReported) {
  RecordingApp app(desktop, services);
  app.m_pSettings->m_strDataDir = appData.Path() + "\\no such dir\\VelmoraWeb";
  EXPECT_FALSE(app.PrepareUserDirs());
  EXPECT_EQ((std::vector<std::string>{"Velmora助手|创建Account目录失败！"}), desktop.messages);
}

TEST_F(StartupTest, DeclinedMandatoryUpdateEndsBeforeAnythingIsChanged) {
  RecordingApp app(desktop, services);
  app.updateAccepted = false;
  app.Run(kWithUrl);
  EXPECT_EQ((Steps{"listener", "update"}), app.steps);
  EXPECT_EQ(0, registry.m_nWrites);
  EXPECT_TRUE(desktop.questions.empty());
  // The stores were never loaded, so the defaults are not saved over them.
  EXPECT_FALSE(platform::FileExists(DataDir() + "\\VelmoraURL.dat"));
}

TEST_F(StartupTest, ExitSavesTheLoadedState) {
  HoldInstanceMutex();
  RecordingApp app(desktop, services);
  app.Run(kWithoutUrl);
  EXPECT_TRUE(platform::FileExists(DataDir() + "\\VelmoraURL.dat"));
}

TEST_F(StartupTest, KnownCdnServerNeedsNoListener) {
  RecordingApp app(desktop, services);
  StoreCdnServer(app.Shared(), "10.1.1.1:80");
  app.Run(kWithUrl);
  EXPECT_EQ((Steps{"update", "add-in window", "main window"}), app.steps);
}

TEST_F(StartupTest, FailedRegistrationEndsWithTheMessage) {
  registry.m_bReadOnly = true;
  RecordingApp app(desktop, services);
  app.Run(kWithUrl);
  EXPECT_EQ((std::vector<std::string>{
                "Velmora助手|注册Velmora助手失败！\n请右键点击程序“以管理员身份运行”。"}),
            desktop.messages);
  EXPECT_TRUE(desktop.questions.empty());  // the URL was not run
  EXPECT_EQ((Steps{"listener", "update", "add-in window"}), app.steps);
  EXPECT_NE(std::string::npos, ReadLog().find("]:注册协议失败！\r\n"));
  EXPECT_EQ(1u, shell.links.size());  // the shortcuts came first
}

// A line cut to the 1024-byte buffer could become another URL: the whole
// line is refused and the process ends as without a URL.
TEST_F(StartupTest, OverlongCommandLineRunsNothing) {
  std::string line = kWithUrl;
  line.insert(line.size() - 1, std::string(COMMAND_LINE_LIMIT, 'a'));
  RecordingApp app(desktop, services);
  app.Run(line);
  EXPECT_TRUE(desktop.questions.empty());
  EXPECT_EQ(0, registry.m_nWrites);
  EXPECT_EQ((Steps{"listener", "update", "add-in window"}), app.steps);
}

TEST_F(StartupTest, SecondStartFromTheSamePlaceWritesNothing) {
  {
    RecordingApp first(desktop, services);
    first.Run(kWithUrl);
  }
  int writes = registry.m_nWrites;
  RecordingApp second(desktop, services);
  second.Run(kWithUrl);
  EXPECT_EQ(writes, registry.m_nWrites);
  EXPECT_EQ(1u, shell.links.size());
}

// Started from a console as "VelmoraURL": the program's own file is
// registered, not the relative name.
TEST_F(StartupTest, TheProgramsOwnPathIsRegisteredNotARelativeFirstToken) {
  RecordingApp app(desktop, services);
  app.Run("VelmoraURL");
  EXPECT_EQ(kProgram, registry.Get(RegRoot::ClassesRoot, "VelmoraURL", "URL Protocol"));
  ASSERT_EQ(1u, shell.links.size());
  EXPECT_EQ(kProgram, shell.links[0].target);
}

TEST_F(StartupTest, WithoutAKnownProgramPathTheFirstTokenIsRegistered) {
  services.programPath.clear();
  RecordingApp app(desktop, services);
  app.Run("\"D:\\moved\\VelmoraURL.exe\"  \"" + kUrl + "\"");
  EXPECT_EQ("D:\\moved\\VelmoraURL.exe",
            registry.Get(RegRoot::ClassesRoot, "VelmoraURL", "URL Protocol"));
}

TEST_F(StartupTest, DownloadSlotsAreSharedBetweenApplications) {
  RecordingApp one(desktop, services);
  RecordingApp two(desktop, services);
  EXPECT_TRUE(one.ClaimDownload("f1"));
  EXPECT_FALSE(two.ClaimDownload("f1"));
  EXPECT_EQ(1, two.Shared().nDownloading);
  one.ReleaseDownload("f1");
  EXPECT_TRUE(two.ClaimDownload("f1"));
  two.ReleaseDownload("f1");
  EXPECT_EQ(0, one.Shared().nDownloading);
}

// What IT sets for the machine takes the place of the design's defaults at
// start-up, and nothing else changes.
class PolicyStartupTest : public StartupTest {
 protected:
  PolicyStartupTest() { services.policy = &policy; }
  platform::MemoryPolicyStore policy;
};

TEST_F(PolicyStartupTest, ACacheServerSetByPolicyIsUsedAndNoneIsLearnt) {
  policy.m_strings["CdnServer"] = "cache.school.lan:8000";
  RecordingApp app(desktop, services);
  app.Run(kWithUrl);
  EXPECT_EQ((Steps{"update", "add-in window", "main window"}), app.steps);
  EXPECT_EQ("cache.school.lan:8000", ReadCdnServer(app.Shared()));
}

TEST_F(PolicyStartupTest, AnnouncementsTurnedOffStartNoListener) {
  policy.m_numbers["CdnAnnouncements"] = 0;
  RecordingApp app(desktop, services);
  app.Run(kWithUrl);
  EXPECT_EQ((Steps{"update", "add-in window", "main window"}), app.steps);
  EXPECT_EQ("", ReadCdnServer(app.Shared()));
}

TEST_F(PolicyStartupTest, UpdateCheckTurnedOffIsNotRun) {
  policy.m_numbers["UpdateCheck"] = 0;
  RecordingApp app(desktop, services);
  app.updateAccepted = false;  // would end the program if it were asked
  app.Run(kWithUrl);
  EXPECT_EQ((Steps{"listener", "add-in window", "main window"}), app.steps);
}

TEST_F(PolicyStartupTest, ResourceDirectoryOfThePolicyIsMadeWithItsParents) {
  const std::string dir = appData.Path() + "\\lab\\downloads";
  policy.m_strings["ResourceDir"] = dir + "\\";
  RecordingApp app(desktop, services);
  app.m_login.userId = 7;
  EXPECT_TRUE(app.PrepareUserDirs());
  EXPECT_EQ(dir + "\\00000007", app.m_pFileList->m_strResourceDir);
  EXPECT_TRUE(platform::IsDirectory(dir + "\\00000007"));
}

// File lists are per account: so are the folders below the policy's
// directory, whichever account's folder (or the shared one that an earlier
// version stored) the machine's state names.
TEST_F(PolicyStartupTest, EachAccountHasItsOwnFolderInThePolicysDirectory) {
  const std::string dir = appData.Path() + "\\lab";
  policy.m_strings["ResourceDir"] = dir;
  const struct {
    const char* stored;  // relative to the policy's directory; nullptr none
    int userId;
    const char* expected;
  } cases[] = {
      {nullptr, 7, "\\00000007"},
      {"\\00000007", 8, "\\00000008"},
      {"\\00000008", 8, "\\00000008"},
      {"", 7, "\\00000007"},
      {"\\", 9, "\\00000009"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.userId) + (c.stored ? c.stored : " none"));
    RecordingApp app(desktop, services);
    if (c.stored) {
      app.m_pFileList->m_strResourceDir = dir + c.stored;
      platform::CreateDir(dir);
      platform::CreateDir(dir + c.stored);
    }
    app.m_login.userId = c.userId;
    EXPECT_TRUE(app.PrepareUserDirs());
    EXPECT_EQ(dir + c.expected, app.m_pFileList->m_strResourceDir);
    EXPECT_TRUE(platform::IsDirectory(dir + c.expected));
    CFileListStore state;
    state.SetDataDir(DataDir());
    ASSERT_TRUE(state.LoadState());
    EXPECT_EQ(dir + c.expected, state.m_strResourceDir);
  }
}

TEST(PolicyResourceDir, OnlyThePolicysDirectoryAndItsAccountFoldersCount) {
  const struct {
    const char* dir;
    const char* policy;
    bool counts;
  } cases[] = {
      {"D:\\Velmora", "D:\\Velmora", true},
      {"d:\\velmora\\00000042", "D:\\Velmora", true},
      {"D:\\Velmora\\-0000007", "D:\\Velmora", true},
      {"D:\\00000042", "D:\\", true},
      {"D:\\Velmora\\mine", "D:\\Velmora", false},
      {"D:\\Velmora\\00000042\\x", "D:\\Velmora", false},
      {"D:\\Velmora2\\00000042", "D:\\Velmora", false},
      {"E:\\Velmora", "D:\\Velmora", false},
      {"D:\\Velmora", "", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsPolicyResourceDir(c.dir, c.policy), c.counts) << c.dir;
  EXPECT_EQ(PolicyAccountResourceDir("D:\\", "00000042"), "D:\\00000042");
  EXPECT_EQ(PolicyAccountResourceDir("\\\\srv\\v", "00000042"), "\\\\srv\\v\\00000042");
}

TEST_F(PolicyStartupTest, AResourceDirectoryThatCannotBeMadeFallsBackWithALogLine) {
  const std::string blocker = appData.Path() + "\\blocker";
  std::ofstream(appData.Native("blocker")) << "a file, not a directory";
  policy.m_strings["ResourceDir"] = blocker + "\\downloads";
  RecordingApp app(desktop, services);
  app.m_login.userId = 7;
  EXPECT_TRUE(app.PrepareUserDirs());
  EXPECT_EQ(app.m_strFileDir, app.m_pFileList->m_strResourceDir);
  EXPECT_NE(std::string::npos, ReadLog().find(blocker + "\\downloads"));
}

TEST_F(PolicyStartupTest, AStoredResourceDirectoryWinsOverThePolicy) {
  const std::string own = appData.Path() + "\\mine";
  ASSERT_TRUE(platform::CreateDir(own));
  policy.m_strings["ResourceDir"] = appData.Path() + "\\lab";
  RecordingApp app(desktop, services);
  app.m_pFileList->m_strResourceDir = own;
  app.m_login.userId = 7;
  EXPECT_TRUE(app.PrepareUserDirs());
  EXPECT_EQ(own, app.m_pFileList->m_strResourceDir);
}
