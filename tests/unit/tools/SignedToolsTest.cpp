#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "ToolFakes.h"
#include "net/Codecs.h"
#include "platform/DirFiles.h"
#include "tools/BrowsePlugin.h"
#include "tools/CompanionTools.h"
#include "tools/KeyRetirement.h"
#include "tools/ToolCommands.h"
#include "tools/UpdateCheck.h"
#include "unit/app/ScopedAppData.h"

namespace {

using Strings = std::vector<std::string>;

int g_browserCalls = 0;
int DoBrowser(void*, char*, int, char*, int) { return ++g_browserCalls; }

// One fetched program: the file whose signature is bent, how its command
// runs, whether it then ran, and where it was kept.
struct Tool {
  const char* name;       // the file of the tool server
  std::function<void()> run;
  std::function<bool()> ran;
  std::string kept;       // where the fetched file stays when it may be used
};

class SignedTools : public ToolTest {
 protected:
  SignedTools() {
    platform::CreateDir(dir / "prog");
    WriteFileBytes(context.programPath, "the running build");
    fetcher.files = {{"VmUpgrade.exe", "upgrader"},        {"VelmoraURL.exe", "new build"},
                     {"VmBrowser.dll", "plug-in"},         {"cximagecrt.dll", "image library"},
                     {"VelmoraAddInDoc.dll", "doc add-in"}, {"VelmoraAddInPpt.dll", "ppt add-in"},
                     {"Velmora128.ico", "icon"},           {"VmSFDocReader.exe", "reader"},
                     {"ToPack.exe", "doc tools"}};
    info.programDigest = Md5Hex("new build");
    info.browserDigest = Md5Hex("plug-in");
    libraries.exports["DoBrowser"] = reinterpret_cast<void*>(&DoBrowser);
    g_browserCalls = 0;
  }

  bool Opened(const std::string& entry) const {
    for (const std::string& e : desktop.opened)
      if (e == entry) return true;
    for (const std::string& e : desktop.started)
      if (e.find(entry) != std::string::npos) return true;
    return false;
  }

  std::vector<Tool> Tools() {
    const std::string upgraderRun = T("VmUpgrade.exe") + "|\"" + dir / "prog\\" + "\"";
    return {
        {"VelmoraURL.exe", [this] { RunUpgrade(context, dir / "prog\\"); },
         [=, this] { return Opened(upgraderRun); }, context.tempDir + "VelmoraURL.exe"},
        {"VmUpgrade.exe", [this] { RunUpgrade(context, dir / "prog\\"); },
         [=, this] { return Opened(upgraderRun); }, T("VmUpgrade.exe")},
        {"VmBrowser.dll", [this] { RunToolCommand(context, 1147); },
         [] { return g_browserCalls > 0; }, W("VmBrowser.dll")},
        {"cximagecrt.dll", [this] { RunToolCommand(context, 1147); },
         [] { return g_browserCalls > 0; }, W("cximagecrt.dll")},
        {"VelmoraAddInPpt.dll", [this] { RunToolCommand(context, 1148); },
         [this] { return Opened("regsvr32.exe"); }, T("VelmoraAddInPpt.dll")},
        {"VmSFDocReader.exe", [this] { RunToolCommand(context, 1148); },
         [this] { return Opened("hidden|" + T("VmSFDocReader.exe")); }, T("VmSFDocReader.exe")},
        {"ToPack.exe",
         [this] {
           RunToolCommand(context, 1146);
           installer.Wait();
         },
         [this] { return Opened("hidden|" + context.tempDir + "ToPack.exe"); },
         context.tempDir + "ToPack.exe"},
        {"webView.exe", [this] { RunToolCommand(context, 1145); },
         [this] { return !desktop.started.empty(); }, T("webView.exe")},
        {"VmCourse_self.exe", [this] { RunToolCommand(context, 1149); },
         [this] { return Opened(T("VmCourse_self.exe") + "|-pk3Tq9WxR#mPlz_#d"); },
         T("VmCourse_self.exe")},
    };
  }

  void Reset() {
    desktop = FakeDesktop();
    fetcher.fetched.clear();
    fetcher.sigFaults.clear();
    libraries.loaded.clear();
    g_browserCalls = 0;
    for (const char* d : {"data\\Tools", "windows", "temp"})
      for (const std::string& name : platform::ListFileNames(dir / d))
        platform::DeleteFileAt(dir / d + "\\" + name);
    platform::DeleteFileAt(RetiredKeysPath(context));
  }
};

// Every program the assistant fetches runs only with its publisher's
// signature; a refused file is not kept, the user is told and the log says
// which file and why.
TEST_F(SignedTools, EveryFetchedProgramRunsOnlyWhenSigned) {
  ScopedAppData appData("signed-tools");
  const std::string logPath = appData.Path() + "\\VelmoraURL.log";
  struct Case {
    SigFault fault;
    bool policyRequires;
    bool runs;
    const char* reason;  // in the log; empty: nothing refused
  } const cases[] = {
      {SigFault::Good, true, true, ""},
      {SigFault::NextKey, true, true, ""},
      {SigFault::Missing, true, false, "服务器未提供签名文件"},
      {SigFault::Bad, true, false, "签名与文件内容不符"},
      {SigFault::OtherKey, true, false, "签名密钥不受信任"},
      {SigFault::WrongName, true, false, "签名属于其他文件"},
      // IT's transition: a missing signature is let through, logged; a bad
      // one never is.
      {SigFault::Missing, false, true, "RequireSignedTools=0"},
      {SigFault::Bad, false, false, "签名与文件内容不符"},
  };
  for (const Tool& tool : Tools()) {
    for (const Case& c : cases) {
      const std::string what = std::string(tool.name) + " fault " +
                               std::to_string(static_cast<int>(c.fault)) +
                               (c.policyRequires ? "" : " policy off");
      Reset();
      platform::DeleteFileAt(logPath);
      context.requireSignedTools = c.policyRequires;
      fetcher.sigFaults[tool.name] = c.fault;
      desktop.answers = {true, true};
      tool.run();
      EXPECT_EQ(tool.ran(), c.runs) << what;
      EXPECT_EQ(platform::FileExists(tool.kept), c.runs) << what;
      const std::string refusal = std::string("提示|") + tool.name + "未通过发布者签名验证，已停止安装。";
      bool told = std::find(desktop.messages.begin(), desktop.messages.end(), refusal) !=
                  desktop.messages.end();
      EXPECT_EQ(told, !c.runs) << what;
      const std::string log = ReadFileBytes(logPath);
      if (*c.reason) {
        EXPECT_NE(log.find(tool.name), std::string::npos) << what;
        EXPECT_NE(log.find(c.reason), std::string::npos) << what << "\n" << log;
      } else {
        EXPECT_FALSE(platform::FileExists(logPath)) << what << "\n" << log;
      }
      // Nothing of the check is left beside the file, but for the tools
      // that are kept and checked again at later starts.
      for (const std::string& name : platform::ListFileNames(dir / "data\\Tools")) {
        if (name.find(".sig") == std::string::npos) continue;
        const std::string kept = name.substr(0, name.size() - 4);
        EXPECT_TRUE(kept == "VmUpgrade.exe" || kept == "VmBrowser.dll" ||
                    kept == "VmCourse_self.exe")
            << what << " " << name;
        EXPECT_TRUE(HasKeptSignature(context, kept, T(kept))) << what;
      }
    }
  }
}

// The program itself is never replaced by a build older than the running one.
TEST_F(SignedTools, AnOlderSignedProgramIsRefused) {
  ScopedAppData appData("signed-tools");
  for (const char* running : {"1.0.0.1", "1.1"}) {
    Reset();
    context.programVersion = running;
    fetcher.sigFaults["VelmoraURL.exe"] = SigFault::Older;
    EXPECT_FALSE(RunUpgrade(context, dir / "prog\\")) << running;
    EXPECT_TRUE(desktop.opened.empty()) << running;
    EXPECT_FALSE(platform::FileExists(T("VelmoraURL.exe"))) << running;
    EXPECT_FALSE(platform::FileExists(context.tempDir + "VelmoraURL.exe")) << running;
    EXPECT_NE(ReadFileBytes(appData.Path() + "\\VelmoraURL.log").find("拒绝降级"), std::string::npos);
  }
  // The same signature, run by an even older build, is an upgrade.
  Reset();
  context.programVersion = "0.9";
  fetcher.sigFaults["VelmoraURL.exe"] = SigFault::Older;
  EXPECT_TRUE(RunUpgrade(context, dir / "prog\\"));
}

// An upgrader left in T runs only under the signature kept beside it: one
// that an earlier version fetched (no signature) or that was changed since is
// fetched again before anything starts.
TEST_F(SignedTools, AKeptUpgraderRunsOnlyUnderItsKeptSignature) {
  const std::string upgrader = T("VmUpgrade.exe");
  const std::string kept = SignatureFileFor("VmUpgrade.exe", "-", "upgrader");
  struct {
    const char* what;
    std::string bytes, signature;  // in T before the update; "" for none
    bool fetchedAgain;
  } const cases[] = {
      {"kept with its signature", "upgrader", kept, false},
      {"left by an earlier version", "upgrader", "", true},
      {"changed since", "a planted upgrader", kept, true},
      {"signed by another key", "upgrader",
       SignatureFileFor("VmUpgrade.exe", "-", "upgrader", TestKey::Other), true},
  };
  for (const auto& c : cases) {
    Reset();
    WriteFileBytes(upgrader, c.bytes);
    if (!c.signature.empty()) WriteFileBytes(upgrader + ".sig", c.signature);
    EXPECT_TRUE(RunUpgrade(context, dir / "prog\\")) << c.what;
    const bool fetched = std::find(fetcher.fetched.begin(), fetcher.fetched.end(),
                                   "VmUpgrade.exe") != fetcher.fetched.end();
    EXPECT_EQ(fetched, c.fetchedAgain) << c.what;
    EXPECT_EQ(ReadFileBytes(upgrader), "upgrader") << c.what;
    EXPECT_TRUE(HasKeptSignature(context, "VmUpgrade.exe", upgrader)) << c.what;
  }
}

// A tool kept in T for later starts is run or loaded again only while the
// signature kept beside it holds; else it is removed, so that the next use
// fetches it afresh, and the user and the log are told.
TEST_F(SignedTools, AKeptToolIsCheckedAgainAtEveryLaterStart) {
  ScopedAppData appData("signed-tools");
  const std::string logPath = appData.Path() + "\\VelmoraURL.log";
  const std::string currentRetired = TestKeyId(TestKey::Current) + "\r\n";
  struct KeptTool {
    const char* name;
    std::function<bool()> install;
    std::function<void()> start;
    std::function<bool()> started;
  } const tools[] = {
      {"VmCourse_self.exe", [this] { return FetchCourseTool(context); },
       [this] { RunToolCommand(context, 1158); },
       [this] { return Opened(T("VmCourse_self.exe") + "|-pk3Tq9WxR#mPlz_#d"); }},
      {"VmBrowser.dll", [this] { return FetchBrowsePlugin(context); },
       [this] { RunBrowsePlugin(context); }, [] { return g_browserCalls > 0; }},
  };
  struct {
    const char* what;
    std::function<void(const std::string&)> change;  // of the kept file, before the start
    bool policyRequires;
    bool starts;
    const char* reason;  // in the log; empty: nothing logged
  } const cases[] = {
      {"as kept", [](const std::string&) {}, true, true, ""},
      {"changed on disk", [](const std::string& p) { WriteFileBytes(p, "planted"); }, true,
       false, "签名与文件内容不符"},
      {"its signature taken away", [](const std::string& p) { platform::DeleteFileAt(p + ".sig"); },
       true, false, "未保存发布者签名"},
      {"kept unsigned while IT allows it",
       [](const std::string& p) { platform::DeleteFileAt(p + ".sig"); }, false, true,
       "RequireSignedTools=0"},
      {"signed by a key retired since",
       [&](const std::string&) { WriteFileBytes(RetiredKeysPath(context), currentRetired); }, true,
       false, "签名密钥已被发布者停用"},
  };
  for (const KeptTool& tool : tools) {
    for (const auto& c : cases) {
      const std::string what = std::string(tool.name) + ": " + c.what;
      const std::string path = T(tool.name);
      Reset();
      context.requireSignedTools = c.policyRequires;
      ASSERT_TRUE(tool.install()) << what;
      ASSERT_TRUE(HasKeptSignature(context, tool.name, path)) << what;
      desktop = FakeDesktop();
      g_browserCalls = 0;
      platform::DeleteFileAt(logPath);
      c.change(path);
      tool.start();
      EXPECT_EQ(tool.started(), c.starts) << what;
      EXPECT_EQ(platform::FileExists(path), c.starts) << what;
      if (!c.starts) {
        EXPECT_FALSE(platform::FileExists(path + ".sig")) << what;
        EXPECT_TRUE(libraries.loaded.empty()) << what;
        EXPECT_EQ(desktop.messages,
                  Strings{std::string("提示|") + tool.name + "未通过发布者签名验证，已停止安装。"})
            << what;
      }
      const std::string log = ReadFileBytes(logPath);
      if (*c.reason) {
        EXPECT_NE(log.find(std::string(tool.name) + " "), std::string::npos) << what << "\n" << log;
        EXPECT_NE(log.find(c.reason), std::string::npos) << what << "\n" << log;
      } else {
        EXPECT_FALSE(platform::FileExists(logPath)) << what << "\n" << log;
      }
    }
  }
}

}  // namespace
