#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>

#include <filesystem>
#include <set>

#include "app/Registration.h"
#include "app/SharedState.h"
#include "net/MbcsText.h"
#include "platform/win32/Win32Registry.h"
#include "win/app/WinHelpers.h"

using platform::RegRoot;

namespace {

const DWORD kStartTimeoutMs = 30000;

std::string ShortcutIn(int folder) {
  char dir[MAX_PATH] = {};
  SHGetSpecialFolderPathA(nullptr, dir, folder, FALSE);
  return std::string(dir) + "\\" + SHORTCUT_FILE_NAME;
}

bool Exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The real program under Wine, with an APPDATA of the test's own. The
// prefix's registration and shortcuts are shared with other runs: they are
// put back as they were at the end.
class StartupWinTest : public testing::Test {
 protected:
  StartupWinTest()
      : m_strProgram(BuildPath("VelmoraURL.exe")),
        m_strDesktopLink(ShortcutIn(CSIDL_DESKTOPDIRECTORY)),
        m_strStartMenuLink(ShortcutIn(CSIDL_STARTMENU)),
        m_savedDesktop(m_strDesktopLink),
        m_savedStartMenu(m_strStartMenuLink) {
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    m_strAppData = std::string(temp) + "velmora-startupwin-" + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(m_strAppData.c_str(), nullptr);
    m_environment = EnvironmentWithAppData(m_strAppData);
    SaveRegistration();
  }
  ~StartupWinTest() override {
    RestoreRegistration();
    std::error_code ignored;
    std::filesystem::remove_all(m_strAppData, ignored);
  }

  void SetUp() override {
    ASSERT_TRUE(Exists(m_strProgram)) << m_strProgram << " is built with the VelmoraURL target";
  }

  // Stands for a first process that is running: later starts are copies.
  void HoldInstanceMutex() {
    m_hInstanceMutex = CreateMutexA(nullptr, TRUE, INSTANCE_MUTEX_NAME);
    ASSERT_NE(nullptr, m_hInstanceMutex);
  }
  void TearDown() override {
    if (m_hInstanceMutex) CloseHandle(m_hInstanceMutex);
  }

  // Runs the program to its end; notes whether it ever showed a window.
  int RunProgram(const std::string& arguments, bool* showedWindow = nullptr) {
    ChildProcess child;
    if (!child.Start("\"" + m_strProgram + "\"" + arguments, &m_environment)) return -1;
    bool shown = false;
    for (DWORD start = GetTickCount(); GetTickCount() - start < kStartTimeoutMs;) {
      if (WaitForSingleObject(child.pi.hProcess, 20) == WAIT_OBJECT_0) break;
      shown = shown || HasVisibleWindow(child.pi.dwProcessId);
    }
    if (showedWindow) *showedWindow = shown;
    return child.Wait(0);
  }

  std::string Registered(const char* key, const char* name) {
    std::string text;
    ReadRegString(platform::SystemRegistry(), RegRoot::ClassesRoot, key, name, text);
    return text;
  }

  std::string m_strProgram, m_strDesktopLink, m_strStartMenuLink, m_strAppData;
  std::vector<char> m_environment;
  HANDLE m_hInstanceMutex = nullptr;

 private:
  struct SavedValue {
    const char* key;
    const char* name;
    bool present;
    std::string text;
  };

  void SaveRegistration() {
    m_saved = {{URL_PROTOCOL_KEY, "", false, ""},
               {URL_PROTOCOL_KEY, URL_PROTOCOL_VALUE, false, ""},
               {URL_COMMAND_KEY, "", false, ""},
               {URL_ICON_KEY, "", false, ""}};
    for (auto& v : m_saved)
      v.present = ReadRegString(platform::SystemRegistry(), RegRoot::ClassesRoot, v.key, v.name,
                                v.text);
  }
  void RestoreRegistration() {
    RegDeleteTreeA(HKEY_CLASSES_ROOT, URL_PROTOCOL_KEY);
    for (auto& v : m_saved)
      if (v.present)
        WriteRegString(platform::SystemRegistry(), RegRoot::ClassesRoot, v.key, v.name, v.text);
  }

  SavedFile m_savedDesktop, m_savedStartMenu;
  std::vector<SavedValue> m_saved;
};

// What a test's processes put into the shared block, watched from outside.
struct SlotWatch {
  int mostHeld = 0;
  bool duplicate = false;

  void Look(const SharedState& state) {
    std::set<std::string> held;
    for (const auto& slot : state.szDownloading) {
      std::string fid(slot, strnlen(slot, DOWNLOAD_SLOT_SIZE));
      if (!fid.empty() && !held.insert(fid).second) duplicate = true;
    }
    mostHeld = std::max({mostHeld, (int)held.size(), (int)state.nDownloading});
  }
};

}  // namespace

TEST_F(StartupWinTest, SecondStartWithoutUrlEndsWithoutAWindow) {
  HoldInstanceMutex();
  bool showedWindow = true;
  EXPECT_EQ(0, RunProgram("", &showedWindow));
  EXPECT_FALSE(showedWindow);
}

TEST_F(StartupWinTest, FirstStartRegistersAndPlacesShortcutsTheSecondWritesNothing) {
  HoldInstanceMutex();  // a copy: it ends after its URL whatever else exists
  RegDeleteTreeA(HKEY_CLASSES_ROOT, URL_PROTOCOL_KEY);
  DeleteFileA(m_strDesktopLink.c_str());
  DeleteFileA(m_strStartMenuLink.c_str());
  const std::string url = "velmoraurl://startup-test";  // no command of the program

  ASSERT_EQ(0, RunProgram(" \"" + url + "\""));
  EXPECT_EQ(m_strProgram, Registered(URL_PROTOCOL_KEY, URL_PROTOCOL_VALUE));
  EXPECT_EQ("\"" + m_strProgram + "\" \"%1\"", Registered(URL_COMMAND_KEY, ""));
  EXPECT_EQ(m_strProgram, Registered(URL_ICON_KEY, ""));
  EXPECT_EQ("Velmora URL Protocol", Registered(URL_PROTOCOL_KEY, ""));
  EXPECT_TRUE(MbcsEqualNoCase(m_strProgram, ShellLinkTarget(m_strDesktopLink)));
  EXPECT_TRUE(MbcsEqualNoCase(m_strProgram, ShellLinkTarget(m_strStartMenuLink)));
  EXPECT_TRUE(MbcsEqualNoCase(m_strProgram, ReadShellLink(m_strDesktopLink).description));
  EXPECT_FALSE(Exists(m_strProgram + ".lnk"));
  std::string log;
  ASSERT_TRUE(ReadFileBytes(m_strAppData + "\\VelmoraURL.log", log));
  EXPECT_NE(std::string::npos, log.find("]:" + url + "\r\n")) << log;
  EXPECT_TRUE(Exists(m_strAppData + "\\VelmoraWeb\\Tools"));

  // Markers show what a second start from the same place would write.
  WriteRegString(platform::SystemRegistry(), RegRoot::ClassesRoot, URL_ICON_KEY, "", "marker");
  DeleteFileA(m_strDesktopLink.c_str());
  DeleteFileA(m_strStartMenuLink.c_str());
  ASSERT_EQ(0, RunProgram(" \"" + url + "\""));
  EXPECT_EQ("marker", Registered(URL_ICON_KEY, ""));
  EXPECT_FALSE(Exists(m_strDesktopLink));
  EXPECT_FALSE(Exists(m_strStartMenuLink));
}

// Six processes want a slot at once, first for six files, then for one file.
TEST(DownloadSlotsWinTest, SixProcessesNeverHoldMoreThanFiveOrOneFidTwice) {
  const std::string claimer = BuildPath("testbed\\slotclaimer.exe");
  ASSERT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(claimer.c_str())) << claimer;
  const std::string block = "velmora slot test block " + std::to_string(GetCurrentProcessId());
  const std::string mutex = "velmora slot test mutex " + std::to_string(GetCurrentProcessId());
  platform::CSharedMemory watched;
  ASSERT_TRUE(watched.Open(block, sizeof(SharedState)));
  const SharedState& state = *static_cast<const SharedState*>(watched.Data());
  char temp[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, temp);
  const std::string appData = std::string(temp) + "velmora-slots-" + std::to_string(GetCurrentProcessId());
  CreateDirectoryA(appData.c_str(), nullptr);
  std::vector<char> environment = EnvironmentWithAppData(appData);

  for (bool sameFid : {false, true}) {
    ChildProcess children[6];
    for (int i = 0; i < 6; ++i) {
      std::string fid = sameFid ? "one-fid" : "fid-" + std::to_string(i);
      ASSERT_TRUE(children[i].Start("\"" + claimer + "\" \"" + block + "\" \"" + mutex + "\" " +
                                        fid + " 6000",
                                    &environment));
    }
    SlotWatch watch;
    for (DWORD start = GetTickCount(); GetTickCount() - start < 3000; Sleep(5)) watch.Look(state);
    int claimed = 0, refused = 0;
    for (auto& child : children) {
      int code = child.Wait(kStartTimeoutMs);
      EXPECT_TRUE(code == 0 || code == 1) << "exit code " << code;
      claimed += code == 0;
      refused += code == 1;
    }
    EXPECT_EQ(sameFid ? 1 : 5, claimed) << (sameFid ? "same fid" : "six fids");
    EXPECT_EQ(sameFid ? 5 : 1, refused);
    EXPECT_LE(watch.mostHeld, 5);
    EXPECT_GE(watch.mostHeld, 1);
    EXPECT_FALSE(watch.duplicate);
    EXPECT_EQ(0, state.nDownloading);  // every claim was released
  }
  std::error_code ignored;
  std::filesystem::remove_all(appData, ignored);
}
