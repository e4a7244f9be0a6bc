#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>

#include "app/Registration.h"
#include "net/MbcsText.h"
#include "platform/win32/Win32Registry.h"
#include "win/app/WinHelpers.h"

using platform::RegRoot;

namespace {

const std::string kProgram = "C:\\Program Files\\Velmora\\VelmoraURL.exe";

// The real registry functions on a class root of the test's own below the
// current user, so that the prefix's registration stays as it is.
class RegistrationWinTest : public testing::Test {
 protected:
  void SetUp() override {
    m_strBase = "Software\\VelmoraTest\\registration-" + std::to_string(GetCurrentProcessId());
    RegDeleteTreeA(HKEY_CURRENT_USER, m_strBase.c_str());
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, m_strBase.c_str(), 0, nullptr, 0,
                                             KEY_ALL_ACCESS, nullptr, &m_hRoot, nullptr));
    m_pRegistry = std::make_unique<platform::CWin32Registry>(m_hRoot, m_hRoot);
  }
  void TearDown() override {
    RegCloseKey(m_hRoot);
    RegDeleteTreeA(HKEY_CURRENT_USER, m_strBase.c_str());
    RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\VelmoraTest");  // stays while others use it
  }

  std::string Value(const char* key, const char* name) {
    std::string text;
    ReadRegString(*m_pRegistry, RegRoot::ClassesRoot, key, name, text);
    return text;
  }

  std::string m_strBase;
  HKEY m_hRoot = nullptr;
  std::unique_ptr<platform::CWin32Registry> m_pRegistry;
};

}  // namespace

TEST_F(RegistrationWinTest, FirstStartWritesTheFourValuesAsStrings) {
  ASSERT_TRUE(RegisterUrlProtocol(*m_pRegistry, kProgram));
  EXPECT_EQ("Velmora URL Protocol", Value("VelmoraURL", ""));
  EXPECT_EQ(kProgram, Value("VelmoraURL", "URL Protocol"));
  EXPECT_EQ("\"" + kProgram + "\" \"%1\"", Value("VelmoraURL\\shell\\open\\command", ""));
  EXPECT_EQ(kProgram, Value("VelmoraURL\\DefaultIcon", ""));
  DWORD type = 0;
  EXPECT_EQ(ERROR_SUCCESS, RegGetValueA(m_hRoot, "VelmoraURL\\shell\\open\\command", nullptr,
                                        RRF_RT_ANY, &type, nullptr, nullptr));
  EXPECT_EQ((DWORD)REG_SZ, type);
}

// A marker in the icon value shows whether a start wrote anything.
TEST_F(RegistrationWinTest, SecondStartWritesNothingAMovedProgramRewritesAll) {
  ASSERT_TRUE(RegisterUrlProtocol(*m_pRegistry, kProgram));
  ASSERT_TRUE(WriteRegString(*m_pRegistry, RegRoot::ClassesRoot, "VelmoraURL\\DefaultIcon", "",
                             "marker"));
  ASSERT_TRUE(RegisterUrlProtocol(*m_pRegistry, "c:\\program files\\velmora\\VELMORAURL.EXE"));
  EXPECT_EQ("marker", Value("VelmoraURL\\DefaultIcon", ""));
  const std::string moved = "D:\\Neu\\VelmoraURL.exe";
  ASSERT_TRUE(RegisterUrlProtocol(*m_pRegistry, moved));
  EXPECT_EQ(moved, Value("VelmoraURL\\DefaultIcon", ""));
  EXPECT_EQ(moved, Value("VelmoraURL", "URL Protocol"));
}

TEST_F(RegistrationWinTest, ReadsOnlyStringsThatFitTheBuffer) {
  std::string text;
  ASSERT_TRUE(WriteRegString(*m_pRegistry, RegRoot::CurrentUser, "K", "fits", std::string(259, 'a')));
  ASSERT_TRUE(WriteRegString(*m_pRegistry, RegRoot::CurrentUser, "K", "long", std::string(260, 'a')));
  EXPECT_TRUE(ReadRegString(*m_pRegistry, RegRoot::CurrentUser, "K", "fits", text));
  EXPECT_EQ(std::string(259, 'a'), text);
  EXPECT_FALSE(ReadRegString(*m_pRegistry, RegRoot::CurrentUser, "K", "long", text));
  EXPECT_FALSE(ReadRegString(*m_pRegistry, RegRoot::CurrentUser, "K", "missing", text));
  EXPECT_FALSE(ReadRegString(*m_pRegistry, RegRoot::CurrentUser, "No\\Such\\Key", "", text));
  DWORD number = 5;
  RegSetKeyValueA(m_hRoot, "K", "number", REG_DWORD, &number, sizeof number);
  EXPECT_FALSE(ReadRegString(*m_pRegistry, RegRoot::CurrentUser, "K", "number", text));
}

// Real links in the prefix's desktop and Start menu, put back as they were.
TEST(ShortcutWinTest, LinksOnTheDesktopAndInTheStartMenuPointAtTheProgram) {
  char desktop[MAX_PATH] = {}, startMenu[MAX_PATH] = {};
  ASSERT_TRUE(SHGetSpecialFolderPathA(nullptr, desktop, CSIDL_DESKTOPDIRECTORY, FALSE));
  ASSERT_TRUE(SHGetSpecialFolderPathA(nullptr, startMenu, CSIDL_STARTMENU, FALSE));
  const std::string desktopLink = std::string(desktop) + "\\" + SHORTCUT_FILE_NAME;
  const std::string startMenuLink = std::string(startMenu) + "\\" + SHORTCUT_FILE_NAME;
  SavedFile savedDesktop(desktopLink), savedStartMenu(startMenuLink);

  char self[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  const std::string program = self;
  // An empty class root of the test's own: nothing registered, a first run.
  const std::string base = "Software\\VelmoraTest\\shortcut-" + std::to_string(GetCurrentProcessId());
  HKEY root = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, base.c_str(), 0, nullptr, 0,
                                           KEY_ALL_ACCESS, nullptr, &root, nullptr));
  platform::CWin32Registry empty(root, root);
  DeleteFileA(desktopLink.c_str());
  DeleteFileA(startMenuLink.c_str());

  EnsureShortcuts(empty, platform::SystemShortcutShell(), "\"" + program + "\"");
  EXPECT_TRUE(MbcsEqualNoCase(program, ShellLinkTarget(desktopLink)));
  EXPECT_TRUE(MbcsEqualNoCase(program, ShellLinkTarget(startMenuLink)));
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA((program + ".lnk").c_str()));

  RegCloseKey(root);
  RegDeleteTreeA(HKEY_CURRENT_USER, base.c_str());
  RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\VelmoraTest");
}

TEST(ShortcutWinTest, ShellLinkWithHotkeyAndDescription) {
  char temp[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, temp);
  const std::string link = std::string(temp) + "velmora-link-" +
                           std::to_string(GetCurrentProcessId());
  ASSERT_TRUE(CreateShellLink(platform::SystemShortcutShell(), "C:\\windows\\notepad.exe", link,
                              "记事本", MAKEWORD('N', HOTKEYF_CONTROL)));
  ShellLinkInfo info = ReadShellLink(link + ".lnk");
  EXPECT_TRUE(MbcsEqualNoCase("C:\\windows\\notepad.exe", info.target)) << info.target;
  EXPECT_EQ("记事本", info.description);
  EXPECT_EQ(MAKEWORD('N', HOTKEYF_CONTROL), info.hotkey);
  DeleteFileA((link + ".lnk").c_str());
  EXPECT_FALSE(CreateShellLink(platform::SystemShortcutShell(), "", link, "", 0));
}
