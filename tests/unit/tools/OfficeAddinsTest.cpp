#include <gtest/gtest.h>

#include "ToolFakes.h"
#include "net/Codecs.h"
#include "tools/OfficeAddins.h"
#include "tools/ToolCommands.h"

namespace {

using Strings = std::vector<std::string>;
using platform::RegRoot;

const char kCurVerKey[] = "PowerPoint.Application\\CurVer";
const char kSecurity16[] = "Software\\Microsoft\\Office\\16.0\\Common\\Security";
const char kNotice[] =
    "提示|安装Office插件注意事项：\n1、请将电脑中所有已打开的Office文档关闭；\n"
    "2、插件安装需要管理员权限，请确保Velmora助手以管理员方式打开:\n"
    "     右键点击程序“以管理员身份运行(&A)”即可。\n";
const char kPlugin[] = "plug-in";

class OfficeAddins : public ToolTest {
 protected:
  OfficeAddins() {
    fetcher.files = {{"VelmoraAddInDoc.dll", "doc add-in"}, {"VelmoraAddInPpt.dll", "ppt add-in"},
                     {"Velmora128.ico", "icon"},           {"VmSFDocReader.exe", "reader"},
                     {"VmBrowser.dll", kPlugin},           {"cximagecrt.dll", "image library"}};
    info.browserDigest = Md5Hex(kPlugin);
    registry.Put(RegRoot::ClassesRoot, kCurVerKey, "", "PowerPoint.Application.16");
  }
  uint32_t HyperlinkWarning(const std::string& key = kSecurity16) {
    uint32_t value = 0;
    return registry.GetDword(RegRoot::CurrentUser, key, "DisableHyperlinkWarning", value) ? value
                                                                                         : 99;
  }
};

TEST_F(OfficeAddins, FreshInstall) {
  WriteFileBytes(T("VelmoraAddInPpt.dll"), "older ppt add-in");
  RunToolCommand(context, 1148);
  EXPECT_EQ(desktop.messages, (Strings{kNotice, "提示|安装成功！"}));
  EXPECT_TRUE(desktop.questions.empty());
  // Each file with the publisher's signature from beside it.
  Strings expected;
  for (const char* name : {"VelmoraAddInDoc.dll", "VelmoraAddInPpt.dll", "Velmora128.ico",
                           "VmSFDocReader.exe", "VmBrowser.dll", "cximagecrt.dll"})
    expected.insert(expected.end(), {name, std::string(name) + ".sig"});
  EXPECT_EQ(fetcher.fetched, expected);
  EXPECT_EQ(ReadFileBytes(T("VelmoraAddInPpt.dll")), "ppt add-in");
  // The system's own regsvr32.exe, with the command line it always had.
  const std::string regsvr32 = "C:\\windows\\system32\\regsvr32.exe|\"regsvr32.exe\" \"";
  EXPECT_EQ(desktop.started, (Strings{regsvr32 + T("VelmoraAddInDoc.dll") + "\"",
                                      regsvr32 + T("VelmoraAddInPpt.dll") + "\""}));
  EXPECT_EQ(desktop.opened, Strings{"hidden|" + T("VmSFDocReader.exe")});
  for (const char* name : {"Velmora128.ico", "VmBrowser.dll", "cximagecrt.dll"})
    EXPECT_EQ(ReadFileBytes(W(name)), ReadFileBytes(T(name))) << name;
  EXPECT_EQ(HyperlinkWarning(), 1u);
  EXPECT_TRUE(libraries.loaded.empty());
}

// Where the system names no system directory, regsvr32.exe is not searched
// for by name; the registration is not looked at, as when it fails.
TEST_F(OfficeAddins, NoSystemDirectoryRegistersNothing) {
  context.systemDir.clear();
  RunToolCommand(context, 1148);
  EXPECT_TRUE(desktop.started.empty());
  EXPECT_EQ(desktop.messages, (Strings{kNotice, "提示|安装成功！"}));
}

TEST_F(OfficeAddins, SecondInstallAsksAndNoTouchesNothing) {
  RunToolCommand(context, 1148);
  fetcher.fetched.clear();
  desktop = FakeDesktop();
  fetcher.files["VelmoraAddInDoc.dll"] = "newer doc add-in";
  desktop.answers = {false};
  RunToolCommand(context, 1148);
  EXPECT_EQ(desktop.messages, Strings{kNotice});
  EXPECT_EQ(desktop.questions, Strings{"提示|Office插件已安装，是否重新安装？"});
  EXPECT_TRUE(fetcher.fetched.empty());
  EXPECT_TRUE(desktop.started.empty());
  EXPECT_EQ(ReadFileBytes(T("VelmoraAddInDoc.dll")), "doc add-in");

  desktop.answers = {true};
  RunToolCommand(context, 1148);
  EXPECT_EQ(ReadFileBytes(T("VelmoraAddInDoc.dll")), "newer doc add-in");
}

TEST_F(OfficeAddins, FailedFetchKeepsEarlierFilesAndRegistersNothing) {
  struct Case {
    std::string missing;
    Strings present, absent;
  } cases[] = {
      {"VelmoraAddInPpt.dll", {"VelmoraAddInDoc.dll"}, {"VelmoraAddInPpt.dll", "Velmora128.ico"}},
      {"VmSFDocReader.exe", {"Velmora128.ico"}, {"VmSFDocReader.exe", "VmBrowser.dll"}},
      {"cximagecrt.dll", {"VmSFDocReader.exe", "VmBrowser.dll"}, {"cximagecrt.dll"}},
  };
  for (const Case& c : cases) {
    for (const char* name : {"VelmoraAddInDoc.dll", "VelmoraAddInPpt.dll", "Velmora128.ico",
                             "VmSFDocReader.exe", "VmBrowser.dll", "cximagecrt.dll"})
      platform::DeleteFileAt(T(name));
    desktop = FakeDesktop();
    std::string bytes = fetcher.files[c.missing];
    fetcher.files.erase(c.missing);
    EXPECT_FALSE(InstallOfficeAddins(context)) << c.missing;
    fetcher.files[c.missing] = bytes;
    for (const std::string& name : c.present) EXPECT_TRUE(platform::FileExists(T(name))) << name;
    for (const std::string& name : c.absent) EXPECT_FALSE(platform::FileExists(T(name))) << name;
    EXPECT_TRUE(desktop.started.empty()) << c.missing;
    EXPECT_TRUE(desktop.opened.empty()) << c.missing;
    EXPECT_EQ(HyperlinkWarning(), 99u) << c.missing;
  }
  // The reader arrived before the failure, so the next try asks first.
  desktop.answers = {true};
  RunToolCommand(context, 1148);
  EXPECT_EQ(desktop.messages.back(), "提示|安装成功！");
}

TEST_F(OfficeAddins, CommandReportsAFailedFetch) {
  fetcher.files.erase("Velmora128.ico");
  RunToolCommand(context, 1148);
  EXPECT_EQ(desktop.messages, (Strings{kNotice, "提示|安装失败！"}));
}

TEST_F(OfficeAddins, VersionFromCurVer) {
  struct Case {
    const char* curVer;
    int version;
  } cases[] = {
      {"PowerPoint.Application.16", 16},
      {"PowerPoint.Application.15", 15},
      {"a.16", 16},
      {".16", -1},                    // the dot is the first character
      {"PowerPoint16", -1},           // no dot
      {"", -1},
      {"PowerPoint.Application.16beta", 16},  // digits, then letters
      {"PowerPoint.Application.", -1},        // nothing follows the dot
      {"PowerPoint.Application.x16", -1},
      {"PowerPoint.Application.99999999999999", -1},
  };
  for (const Case& c : cases) EXPECT_EQ(OfficeMajorVersion(c.curVer), c.version) << c.curVer;
}

TEST_F(OfficeAddins, HyperlinkWarningKeyByVersion) {
  struct Case {
    const char* curVer;  // null: PowerPoint not registered
    bool set;
    const char* key;
  } cases[] = {
      {"PowerPoint.Application.16", true, kSecurity16},
      {"PowerPoint.Application.12", true, "Software\\Microsoft\\Office\\12.0\\Common\\Security"},
      {"PowerPoint", false, nullptr},
      {".16", false, nullptr},
      {nullptr, false, nullptr},
  };
  for (const Case& c : cases) {
    platform::CMemoryRegistry fresh;
    if (c.curVer) fresh.Put(RegRoot::ClassesRoot, kCurVerKey, "", c.curVer);
    EXPECT_EQ(SetHyperlinkWarningOff(fresh), c.set) << (c.curVer ? c.curVer : "none");
    EXPECT_EQ(fresh.m_nWrites, c.set ? 1 : 0);
    uint32_t value = 0;
    if (c.key) {
      EXPECT_TRUE(fresh.GetDword(RegRoot::CurrentUser, c.key, "DisableHyperlinkWarning", value));
      EXPECT_EQ(value, 1u);
    }
  }
  platform::CMemoryRegistry readOnly;
  readOnly.Put(RegRoot::ClassesRoot, kCurVerKey, "", "PowerPoint.Application.16");
  readOnly.m_bReadOnly = true;
  EXPECT_FALSE(SetHyperlinkWarningOff(readOnly));
}

TEST_F(OfficeAddins, NoPowerPointStillSucceeds) {
  registry = platform::CMemoryRegistry();
  EXPECT_TRUE(InstallOfficeAddins(context));
  EXPECT_EQ(registry.m_nWrites, 0);
}

}  // namespace
