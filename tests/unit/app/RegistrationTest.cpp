#include <gtest/gtest.h>

#include "app/Registration.h"
#include "platform/MemoryRegistry.h"
#include "unit/app/FakeShortcutShell.h"

using platform::CMemoryRegistry;
using platform::RegRoot;

namespace {

const std::string kProgram = "C:\\Program Files\\Velmora\\VelmoraURL.exe";
const std::string kDesktopLink = "C:\\users\\u\\Desktop\\Velmora资源平台助手.lnk";
const std::string kStartMenuLink = "C:\\users\\u\\Start Menu\\Velmora资源平台助手.lnk";

std::string Value(const CMemoryRegistry& reg, const std::string& key, const std::string& name) {
  return reg.Get(RegRoot::ClassesRoot, key, name);
}

void Register(CMemoryRegistry& reg, const std::string& path) {
  reg.Put(RegRoot::ClassesRoot, "VelmoraURL", "", "Velmora URL Protocol");
  reg.Put(RegRoot::ClassesRoot, "VelmoraURL", "URL Protocol", path);
  reg.Put(RegRoot::ClassesRoot, "VelmoraURL\\shell\\open\\command", "",
          "\"" + path + "\" \"%1\"");
  reg.Put(RegRoot::ClassesRoot, "VelmoraURL\\DefaultIcon", "", path);
}

}  // namespace

TEST(RegistrationTest, FirstRegistrationWritesTheFourValues) {
  CMemoryRegistry reg;
  ASSERT_TRUE(RegisterUrlProtocol(reg, kProgram));
  EXPECT_EQ(4, reg.m_nWrites);
  EXPECT_EQ("Velmora URL Protocol", Value(reg, "VelmoraURL", ""));
  EXPECT_EQ(kProgram, Value(reg, "VelmoraURL", "URL Protocol"));
  EXPECT_EQ("\"" + kProgram + "\" \"%1\"", Value(reg, "VelmoraURL\\shell\\open\\command", ""));
  EXPECT_EQ(kProgram, Value(reg, "VelmoraURL\\DefaultIcon", ""));
}

// Whether a start rewrites the registration, by what it finds there.
TEST(RegistrationTest, RewritesOnlyWhatNamesAnotherProgram) {
  struct Case {
    const char* name;
    std::string registeredPath, registeredCommand;
    int writes;
  } cases[] = {
      {"same place", kProgram, "\"" + kProgram + "\" \"%1\"", 0},
      {"other letter case", "c:\\PROGRAM FILES\\velmora\\velmoraurl.EXE",
       "\"C:\\program files\\VELMORA\\VelmoraURL.exe\" \"%1\"", 0},
      {"moved program", "D:\\Old\\VelmoraURL.exe", "\"D:\\Old\\VelmoraURL.exe\" \"%1\"", 4},
      {"path right, command of another program", kProgram, "\"D:\\x.exe\" \"%1\"", 4},
      {"command right, path missing", "", "\"" + kProgram + "\" \"%1\"", 4},
  };
  for (const Case& c : cases) {
    CMemoryRegistry reg;
    if (!c.registeredPath.empty())
      reg.Put(RegRoot::ClassesRoot, "VelmoraURL", "URL Protocol", c.registeredPath);
    reg.Put(RegRoot::ClassesRoot, "VelmoraURL\\shell\\open\\command", "", c.registeredCommand);
    EXPECT_TRUE(RegisterUrlProtocol(reg, kProgram)) << c.name;
    EXPECT_EQ(c.writes, reg.m_nWrites) << c.name;
  }
}

TEST(RegistrationTest, UserWithoutWriteAccessFailsOnTheFirstWrite) {
  CMemoryRegistry reg;
  reg.m_bReadOnly = true;
  EXPECT_FALSE(RegisterUrlProtocol(reg, kProgram));
  EXPECT_FALSE(reg.Has(RegRoot::ClassesRoot, "VelmoraURL", "URL Protocol"));
  // Already registered for this place: nothing to write, so no failure.
  Register(reg, kProgram);
  EXPECT_TRUE(RegisterUrlProtocol(reg, kProgram));
}

// The open command of a path of 253 to 259 bytes no longer fits the
// 260-byte buffer; it still counts as registered.
TEST(RegistrationTest, LongProgramPathIsRecognisedAsRegistered) {
  CMemoryRegistry reg;
  const std::string path = "C:\\" + std::string(255, 'p');
  Register(reg, path);
  reg.m_bReadOnly = true;
  EXPECT_TRUE(RegisterUrlProtocol(reg, path));
}

TEST(RegistrationTest, TextsOfTheBufferSizeOrMoreAreNotRead) {
  CMemoryRegistry reg;
  std::string text;
  reg.Put(RegRoot::ClassesRoot, "K", "", std::string(259, 'a'));
  EXPECT_TRUE(ReadRegString(reg, RegRoot::ClassesRoot, "k", "", text));
  EXPECT_EQ(259u, text.size());
  reg.Put(RegRoot::ClassesRoot, "K", "", std::string(260, 'a'));
  EXPECT_FALSE(ReadRegString(reg, RegRoot::ClassesRoot, "K", "", text));
  EXPECT_FALSE(ReadRegString(reg, RegRoot::ClassesRoot, "missing", "", text));
}

TEST(ShortcutTest, FirstRunPlacesBothShortcutsAndRemovesTheTemporaryLink) {
  CMemoryRegistry reg;
  FakeShortcutShell shell;
  EnsureShortcuts(reg, shell, kProgram);
  ASSERT_EQ(1u, shell.links.size());
  EXPECT_EQ(kProgram, shell.links[0].target);
  EXPECT_EQ(kProgram + ".lnk", shell.links[0].file);
  EXPECT_EQ(kProgram, shell.links[0].description);
  EXPECT_EQ(0, shell.links[0].hotkey);
  EXPECT_TRUE(shell.FileExists(kDesktopLink));
  EXPECT_TRUE(shell.FileExists(kStartMenuLink));
  EXPECT_FALSE(shell.FileExists(kProgram + ".lnk"));
  EXPECT_EQ(0, reg.m_nWrites);
}

TEST(ShortcutTest, PlacedOnlyWhenTheRegistrationIsMissingOrElsewhere) {
  struct Case {
    const char* name;
    std::string registered;  // empty: no registration
    bool placed;
  } cases[] = {
      {"first run", "", true},
      {"same place", kProgram, false},
      {"other letter case", "C:\\PROGRAM FILES\\VELMORA\\VELMORAURL.EXE", false},
      {"moved program", "D:\\Old\\VelmoraURL.exe", true},
  };
  for (const Case& c : cases) {
    CMemoryRegistry reg;
    if (!c.registered.empty()) Register(reg, c.registered);
    FakeShortcutShell shell;
    shell.files[kDesktopLink] = "old link";
    EnsureShortcuts(reg, shell, kProgram);
    EXPECT_EQ(c.placed, !shell.links.empty()) << c.name;
    EXPECT_EQ(c.placed ? "link to " + kProgram : "old link", shell.files[kDesktopLink]) << c.name;
  }
}

TEST(ShortcutTest, QuotesLeaveTheTargetAndAStaleTemporaryLinkIsReplaced) {
  CMemoryRegistry reg;
  FakeShortcutShell shell;
  shell.files[kProgram + ".lnk"] = "stale";
  EnsureShortcuts(reg, shell, "\"" + kProgram + "\"");
  ASSERT_EQ(1u, shell.links.size());
  EXPECT_EQ(kProgram, shell.links[0].target);
  EXPECT_EQ("link to " + kProgram, shell.files[kStartMenuLink]);
}

TEST(ShortcutTest, AFolderTheShellCannotNameIsSkipped) {
  CMemoryRegistry reg;
  FakeShortcutShell shell;
  shell.folders.erase(platform::SpecialFolder::Desktop);
  EnsureShortcuts(reg, shell, kProgram);
  ASSERT_EQ(1u, shell.copies.size());
  EXPECT_EQ(kProgram + ".lnk -> " + kStartMenuLink, shell.copies[0]);
}

// The moved program's registration fails for lack of rights; the shortcuts
// made before it stay.
TEST(ShortcutTest, ShortcutsComeBeforeAFailedRegistration) {
  CMemoryRegistry reg;
  reg.m_bReadOnly = true;
  FakeShortcutShell shell;
  EnsureShortcuts(reg, shell, kProgram);
  EXPECT_FALSE(RegisterUrlProtocol(reg, kProgram));
  EXPECT_TRUE(shell.FileExists(kDesktopLink));
}

TEST(ShellLinkTest, LinkFileNameAndDescription) {
  struct Case {
    std::string linkPath, description;
    uint32_t hotkey;
    std::string file, shownDescription;
    uint16_t setHotkey;
  } cases[] = {
      {"", "", 0, "C:\\a\\b.exe.lnk", "C:\\a\\b.exe", 0},
      {"D:\\x", "说明", 0, "D:\\x.lnk", "说明", 0},
      {"D:\\x.lnk", "", 0x0041, "D:\\x.lnk", "C:\\a\\b.exe", 0x0041},
      {".lnk", "", 0, ".lnk.lnk", "C:\\a\\b.exe", 0},  // ".lnk" must follow the first character
      {"D:\\x", "", 0xABCD0000, "D:\\x.lnk", "C:\\a\\b.exe", 0},  // high bits carry no key
  };
  for (const auto& c : cases) {
    FakeShortcutShell shell;
    EXPECT_TRUE(CreateShellLink(shell, "C:\\a\\b.exe", c.linkPath, c.description, c.hotkey));
    ASSERT_EQ(1u, shell.links.size());
    EXPECT_EQ(c.file, shell.links[0].file);
    EXPECT_EQ(c.shownDescription, shell.links[0].description);
    EXPECT_EQ(c.setHotkey, shell.links[0].hotkey);
  }
  FakeShortcutShell shell;
  EXPECT_FALSE(CreateShellLink(shell, "", "D:\\x", "", 0));
  EXPECT_TRUE(shell.links.empty());
  shell.linksFail = true;
  EXPECT_FALSE(CreateShellLink(shell, "C:\\a\\b.exe", "", "", 0));
}
