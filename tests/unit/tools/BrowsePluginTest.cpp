#include <gtest/gtest.h>

#include "ToolFakes.h"
#include "net/Codecs.h"
#include "tools/BrowsePlugin.h"
#include "tools/ToolCommands.h"

namespace {

using Strings = std::vector<std::string>;

// What the plug-in's export saw.
struct BrowseCall {
  int calls = 0;
  void* parent = nullptr;
  int pathSize = 0, nameSize = 0;
  bool zeroed = false;
} g_call;

bool AllZero(const char* bytes, int size) {
  for (int i = 0; i < size; ++i)
    if (bytes[i]) return false;
  return true;
}

int StandInDoBrowser(void* parent, char* path, int pathSize, char* name, int nameSize) {
  ++g_call.calls;
  g_call.parent = parent;
  g_call.pathSize = pathSize;
  g_call.nameSize = nameSize;
  g_call.zeroed = AllZero(path, pathSize) && AllZero(name, nameSize);
  return 0;
}

const char kPlugin[] = "plug-in build 7";
const char kNotInstalled[] = "提示|Velmora资源浏览插件尚未安装（或有新版本），是否现在安装？";
const char kReinstall[] = "提示|Velmora资源浏览插件已安装，是否重新安装？";

class BrowsePlugin : public ToolTest {
 protected:
  BrowsePlugin() {
    g_call = BrowseCall();
    libraries.exports["DoBrowser"] = (void*)&StandInDoBrowser;
    fetcher.files = {{"VmBrowser.dll", kPlugin},
                     {"cximagecrt.dll", "image library"},
                     {"vmtool.ini", "[VmBrowser]\r\nhashcode=" + Md5Hex(kPlugin) + "\r\n"}};
  }
  void Install() {
    WriteFileBytes(T("VmBrowser.dll"), kPlugin);
    WriteFileBytes(T("VmBrowser.dll.sig"), SignatureFileFor("VmBrowser.dll", "-", kPlugin));
    WriteFileBytes(W("cximagecrt.dll"), "image library");
    info.browserDigest = Md5Hex(kPlugin);
  }
};

std::string Upper(std::string text) {
  for (char& c : text) c = (char)toupper((unsigned char)c);
  return text;
}

TEST_F(BrowsePlugin, CountsAsInstalledOnlyWhenCurrent) {
  struct Case {
    const char* what;
    std::string published, plugin;
    bool imageLibrary, installed;
  } cases[] = {
      {"current", Md5Hex(kPlugin), kPlugin, true, true},
      {"current, published in upper case", Upper(Md5Hex(kPlugin)), kPlugin, true, true},
      {"digest unknown", "", kPlugin, true, false},
      {"digest unknown, no plug-in", "", "", true, false},
      {"older plug-in", Md5Hex(kPlugin), "plug-in build 6", true, false},
      {"no image library in W", Md5Hex(kPlugin), kPlugin, false, false},
  };
  for (const Case& c : cases) {
    platform::DeleteFileAt(T("VmBrowser.dll"));
    platform::DeleteFileAt(W("cximagecrt.dll"));
    if (!c.plugin.empty()) WriteFileBytes(T("VmBrowser.dll"), c.plugin);
    if (c.imageLibrary) WriteFileBytes(W("cximagecrt.dll"), "image library");
    info.browserDigest = c.published;
    EXPECT_EQ(IsBrowsePluginInstalled(context), c.installed) << c.what;
  }
}

// Start-up could not fetch the description: the command asks, installs,
// learns the digest afresh and runs the plug-in.
TEST_F(BrowsePlugin, UnknownDigestAsksInstallsAndRuns) {
  desktop.answers = {true};
  RunToolCommand(context, 1157);
  EXPECT_EQ(desktop.questions, Strings{kNotInstalled});
  EXPECT_EQ(fetcher.fetched, (Strings{"VmBrowser.dll", "VmBrowser.dll.sig", "vmtool.ini",
                                      "cximagecrt.dll", "cximagecrt.dll.sig"}));
  EXPECT_EQ(ReadFileBytes(W("VmBrowser.dll")), kPlugin);
  EXPECT_EQ(ReadFileBytes(W("cximagecrt.dll")), "image library");
  EXPECT_EQ(libraries.loaded, Strings{T("VmBrowser.dll")});
  EXPECT_EQ(g_call.calls, 1);
  EXPECT_EQ(g_call.parent, (void*)&libraries);
  EXPECT_EQ(g_call.pathSize, 1024);
  EXPECT_EQ(g_call.nameSize, 256);
  EXPECT_TRUE(g_call.zeroed);
  EXPECT_TRUE(desktop.messages.empty());
}

// A tool server that publishes the digest in upper case: the plug-in is
// installed and runs, and the next time counts as installed.
TEST_F(BrowsePlugin, UpperCaseDigestInstallsAndRuns) {
  fetcher.files["vmtool.ini"] = "[VmBrowser]\r\nhashcode=" + Upper(Md5Hex(kPlugin)) + "\r\n";
  desktop.answers = {true};
  RunToolCommand(context, 1157);
  EXPECT_EQ(desktop.questions, Strings{kNotInstalled});
  EXPECT_EQ(g_call.calls, 1);
  EXPECT_TRUE(desktop.messages.empty());
  RunToolCommand(context, 1157);
  EXPECT_EQ(desktop.questions.size(), 1u);
  EXPECT_EQ(g_call.calls, 2);
}

TEST_F(BrowsePlugin, InstalledRunsAtOnce) {
  Install();
  RunToolCommand(context, 1157);
  EXPECT_TRUE(desktop.questions.empty());
  EXPECT_TRUE(fetcher.fetched.empty());
  EXPECT_EQ(g_call.calls, 1);
}

TEST_F(BrowsePlugin, RefusedOrFailedInstallLoadsNothing) {
  struct Case {
    const char* what;
    int id;
    bool installed;
    std::deque<bool> answers;
    std::string served;     // VmBrowser.dll on the server; empty: none
    std::string published;  // its digest in vmtool.ini
    Strings questions, messages;
  } cases[] = {
      {"declined", 1157, false, {false}, kPlugin, Md5Hex(kPlugin), {kNotInstalled}, {}},
      {"reinstall declined", 1147, true, {false}, kPlugin, Md5Hex(kPlugin), {kReinstall}, {}},
      {"not on the server", 1157, false, {true}, "", Md5Hex(kPlugin), {kNotInstalled},
       {"提示|安装失败！"}},
      {"tampered", 1157, false, {true}, "tampered", Md5Hex(kPlugin), {kNotInstalled},
       {"提示|安装失败！"}},
      {"digest still unknown", 1147, false, {}, kPlugin, "", {}, {"提示|安装失败！"}},
  };
  for (const Case& c : cases) {
    platform::DeleteFileAt(T("VmBrowser.dll"));
    platform::DeleteFileAt(W("VmBrowser.dll"));
    info = ToolInfo();
    if (c.installed) Install();
    desktop = FakeDesktop();
    desktop.answers = c.answers;
    fetcher.files.erase("VmBrowser.dll");
    if (!c.served.empty()) fetcher.files["VmBrowser.dll"] = c.served;
    fetcher.files["vmtool.ini"] = "[VmBrowser]\r\nhashcode=" + c.published + "\r\n";
    RunToolCommand(context, c.id);
    EXPECT_EQ(desktop.questions, c.questions) << c.what;
    EXPECT_EQ(desktop.messages, c.messages) << c.what;
    EXPECT_TRUE(libraries.loaded.empty()) << c.what;
    if (!c.installed) {
      // Nothing unchecked stays where it could be loaded.
      EXPECT_FALSE(platform::FileExists(T("VmBrowser.dll"))) << c.what;
      EXPECT_FALSE(platform::FileExists(W("VmBrowser.dll"))) << c.what;
    }
  }
}

TEST_F(BrowsePlugin, ReinstallFetchesThePluginAgainButKeepsTheImageLibrary) {
  Install();
  WriteFileBytes(T("cximagecrt.dll"), "image library");
  desktop.answers = {true};
  RunToolCommand(context, 1147);
  EXPECT_EQ(desktop.questions, Strings{kReinstall});
  EXPECT_EQ(fetcher.fetched, (Strings{"VmBrowser.dll", "VmBrowser.dll.sig"}));
  EXPECT_EQ(g_call.calls, 1);
}

TEST_F(BrowsePlugin, LibraryWithoutTheExport) {
  struct Case {
    bool loads;
    bool hasExport;
  } cases[] = {{false, true}, {true, false}};
  for (const Case& c : cases) {
    Install();
    desktop = FakeDesktop();
    libraries.loads = c.loads;
    if (!c.hasExport) libraries.exports.clear();
    RunBrowsePlugin(context);
    EXPECT_EQ(desktop.messages, Strings{"提示|加载资源浏览插件失败！"});
  }
  EXPECT_EQ(g_call.calls, 0);
}

}  // namespace
