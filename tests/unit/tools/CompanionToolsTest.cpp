#include <gtest/gtest.h>

#include "ToolFakes.h"
#include "store/SegmentedDownloader.h"
#include "tools/ToolCommands.h"

namespace {

const std::string kPassword = "-pk3Tq9WxR#mPlz_#d";

using Strings = std::vector<std::string>;

class Companions : public ToolTest {
 protected:
  std::string Bar(const std::string& name, const std::string& label) const {
    return "http://tools.test:7112/VelmoraTool/" + name + "|" + T(name) + "|" + label;
  }
};

TEST_F(Companions, MicroCourseQuestionsAndStarts) {
  const std::string notInstalled = "提示|微课制作工具尚未安装，是否现在安装？";
  const std::string reinstall = "提示|微课制作工具已安装，是否重新下载安装？";
  const std::string started = T("VmCourse_self.exe") + "|" + kPassword;
  struct Case {
    const char* what;
    int id;
    bool installed;
    std::deque<bool> answers;
    Strings questions;
    size_t bars;
    Strings opened;
  } cases[] = {
      {"open, missing, Yes", 1158, false, {true}, {notInstalled}, 1, {started}},
      {"open, missing, No", 1158, false, {false}, {notInstalled}, 0, {}},
      {"open, installed", 1158, true, {}, {}, 0, {started}},
      {"install, missing", 1149, false, {}, {}, 1, {started}},
      {"install, installed, No", 1149, true, {false}, {reinstall}, 0, {}},
      {"install, installed, Yes", 1149, true, {true}, {reinstall}, 1, {started}},
  };
  for (const Case& c : cases) {
    platform::DeleteFileAt(T("VmCourse_self.exe"));
    if (c.installed) {
      WriteFileBytes(T("VmCourse_self.exe"), "tool");
      WriteFileBytes(T("VmCourse_self.exe.sig"), SignatureFileFor("VmCourse_self.exe", "-", "tool"));
    }
    desktop = FakeDesktop();
    desktop.answers = c.answers;
    bars.clear();
    EXPECT_TRUE(RunToolCommand(context, c.id));
    EXPECT_EQ(desktop.questions, c.questions) << c.what;
    EXPECT_EQ(bars.size(), c.bars) << c.what;
    EXPECT_EQ(desktop.opened, c.opened) << c.what;
  }
  EXPECT_EQ(bars[0], Bar("VmCourse_self.exe", "正在下载微课工具"));
}

TEST_F(Companions, MicroCourseDownloadFailureStartsNothing) {
  barSucceeds = false;
  desktop.answers = {true};
  RunToolCommand(context, 1158);
  EXPECT_TRUE(desktop.opened.empty());
  EXPECT_TRUE(desktop.messages.empty());  // the bar reports its own failure
}

TEST_F(Companions, VideoViewerInstall) {
  const std::string installer = "hidden|\"" + T("webView.exe") + "\"";
  struct Case {
    const char* what;
    bool installed, bar, starts;
    std::deque<bool> answers;
    Strings started, messages;
  } cases[] = {
      {"fresh", false, true, true, {}, {installer}, {"提示|视频插件安装成功！"}},
      {"installed, No", true, true, true, {false}, {}, {}},
      {"installed, Yes", true, true, true, {true}, {installer}, {"提示|视频插件安装成功！"}},
      {"bar fails", false, false, true, {}, {}, {"提示|视频插件安装失败！"}},
      {"installer does not start", false, true, false, {}, {installer},
       {"提示|视频插件安装失败！"}},
  };
  platform::CreateDir(T("webView"));
  for (const Case& c : cases) {
    platform::DeleteFileAt(T("webView\\webView.exe"));
    if (c.installed) WriteFileBytes(T("webView\\webView.exe"), "viewer");
    desktop = FakeDesktop();
    desktop.answers = c.answers;
    desktop.startSucceeds = c.starts;
    barSucceeds = c.bar;
    RunToolCommand(context, 1145);
    EXPECT_EQ(desktop.started, c.started) << c.what;
    EXPECT_EQ(desktop.messages, c.messages) << c.what;
  }
  EXPECT_EQ(bars[0], Bar("webView.exe", "正在下载视频插件"));
}

// Whatever name the tool server suggests, the fresh download is what runs,
// never an older file of the fixed name.
TEST_F(Companions, InstallersAreSavedUnderTheNamesTheyRunBy) {
  WriteFileBytes(T("webView.exe"), "stale installer");
  WriteFileBytes(T("VmCourse_self.exe"), "stale tool");
  barBytes = "fresh";
  std::string ran;
  desktop.hiddenRun = [&](const std::string&) { ran = ReadFileBytes(T("webView.exe")); };
  desktop.answers = {true};
  RunToolCommand(context, 1145);
  EXPECT_EQ(ran, "fresh");
  EXPECT_EQ(desktop.messages, Strings{"提示|视频插件安装成功！"});
  desktop.answers = {true};
  RunToolCommand(context, 1149);
  EXPECT_EQ(ReadFileBytes(T("VmCourse_self.exe")), "fresh");
  EXPECT_EQ(desktop.opened, Strings{T("VmCourse_self.exe") + "|" + kPassword});
  EXPECT_FALSE(platform::FileExists(T(kServerSuggestedName)));
}

TEST_F(Companions, ShellOpensOfTheServerFileAndTheToolsDirectory) {
  RunToolCommand(context, 1164);
  RunToolCommand(context, 1174);
  EXPECT_EQ(desktop.opened,
            (Strings{"http://tools.test:7112/VelmoraTool/webView.exe", context.toolsDir}));
  EXPECT_FALSE(RunToolCommand(context, 1136));
}

TEST_F(Companions, DocumentToolsOpenOrOfferTheInstaller) {
  struct Case {
    int id;
    const char* tool;
    const char* question;
  } cases[] = {
      {1155, "ToPack\\VelmoraToolPack.exe", "提示|Velmora文档转换工具尚未安装，是否现在安装？"},
      {1156, "ToPack\\ZtCourseReader.exe", "提示|Velmora文档阅读工具尚未安装，是否现在安装？"},
  };
  platform::CreateDir(T("ToPack"));
  for (const Case& c : cases) {
    desktop = FakeDesktop();
    desktop.answers = {false};
    RunToolCommand(context, c.id);
    EXPECT_EQ(desktop.questions, Strings{c.question});
    EXPECT_TRUE(desktop.opened.empty());
    WriteFileBytes(T(c.tool), "tool");
    RunToolCommand(context, c.id);
    EXPECT_EQ(desktop.opened, Strings{T(c.tool)});
  }
  EXPECT_TRUE(fetcher.fetched.empty());
}

TEST_F(Companions, OneDocumentInstallerAtATime) {
  fetcher.files["ToPack.exe"] = "installer";
  fetcher.holdFetches = true;
  RunToolCommand(context, 1146);
  fetcher.WaitForFetches(1);
  EXPECT_TRUE(installer.IsRunning());
  RunToolCommand(context, 1146);  // while the first one works: nothing
  fetcher.Release();
  installer.Wait();
  EXPECT_EQ(fetcher.fetched, (Strings{"ToPack.exe", "ToPack.exe.sig"}));
  EXPECT_EQ(desktop.opened, Strings{"hidden|" + context.tempDir + "ToPack.exe"});
  EXPECT_EQ(statusShown, (std::vector<bool>{true, false}));

  // Once it has ended, the next request runs again.
  RunToolCommand(context, 1146);
  installer.Wait();
  EXPECT_EQ(fetcher.FetchCount(), 4u);  // each with its signature
}

TEST_F(Companions, DocumentInstallerFailureStartsNothing) {
  platform::CreateDir(T("ToPack"));
  WriteFileBytes(T("ToPack\\VelmoraToolPack.exe"), "tool");
  desktop.answers = {false};
  RunToolCommand(context, 1146);
  EXPECT_EQ(desktop.questions, Strings{"提示|Velmora文档转换工具已安装，是否重新安装？"});
  EXPECT_FALSE(installer.IsRunning());
  desktop.answers = {true};
  RunToolCommand(context, 1146);
  installer.Wait();
  EXPECT_EQ(fetcher.fetched, Strings{"ToPack.exe"});
  EXPECT_TRUE(desktop.opened.empty());
  EXPECT_EQ(statusShown, (std::vector<bool>{true, false}));
}

// The download bar names files the server chose; they must stay inside T.
TEST_F(Companions, ServerChosenNamesStayInTheToolsDirectory) {
  const std::string url = "http://tools.test:7112/VelmoraTool/VmCourse_self.exe";
  struct Case {
    std::string disposition, name;
  } cases[] = {
      {"", "VmCourse_self.exe"},
      {"..\\..\\Startup\\evil.exe", "evil.exe"},
      {"C:\\Windows\\evil.dll", "evil.dll"},
      {"../../evil.exe", "evil.exe"},
  };
  for (const Case& c : cases) {
    std::string name = DownloadFileName(url, "tools.test", c.disposition);
    EXPECT_EQ(name, c.name) << c.disposition;
    EXPECT_EQ(name.find_first_of("\\/:"), std::string::npos) << c.disposition;
    EXPECT_NE(name, "..");
  }
}

}  // namespace
