#include <gtest/gtest.h>

#include "BuildConfig.h"
#include "platform/Files.h"
#include "unit/app/ResourceFixture.h"

namespace {

using namespace resource_test;

class VideoTest : public ResourceTest {
 protected:
  std::string ToolsDir() { return app->m_pSettings->m_strToolsDir; }
  std::string Viewer() { return ToolsDir() + "\\webView\\webView.exe"; }
  void InstallViewer() {
    fs::create_directories(Native("VelmoraWeb\\Tools\\webView"));
    std::ofstream(Native("VelmoraWeb\\Tools\\webView\\webView.exe")) << "viewer";
  }
  std::string VideoLink(const std::string& fext, int ftype) {
    return "velmoraurl://res:fid=555&fext=" + fext + "&ftype=" + std::to_string(ftype) +
           "&hashcode=v1&server=" + Server();
  }
  std::string PlatformStream() {
    return "http://127.0.0.2:8112/file/downLoad?ft=3&u=2&fid=555 播放在线视频";
  }
};

TEST_F(VideoTest, VideosOfKindZeroPlayInTheViewer) {
  InstallViewer();
  fs::create_directories(Native("VelmoraWeb\\Tools\\webView"));
  std::ofstream(Native("VelmoraWeb\\Tools\\webView\\debug.log")) << "old";
  for (const char* fext : {"mp4", "MP4", "avi", "Mov"}) {
    desktop.opened.clear();
    EXPECT_EQ(Run(VideoLink(fext, 0)), 1) << fext;
    EXPECT_EQ(desktop.opened, std::vector<std::string>{Viewer() + "|" + PlatformStream()}) << fext;
  }
  EXPECT_FALSE(fs::exists(Native("VelmoraWeb\\Tools\\webView\\debug.log")));
  EXPECT_TRUE(platform.RequestsFor("/file/downLoad").empty());
  EXPECT_TRUE(desktop.questions.empty());
}

TEST_F(VideoTest, CdnServerStreamsWhenItHoldsTheVideo) {
  InstallViewer();
  platform.resources["555"] = Pattern(10);
  StoreCdnServer(app->Shared(), platform.CdnServer());
  platform.cdnPaths["555"] = "/v/555.mp4";
  EXPECT_EQ(Run(VideoLink("mp4", 0)), 1);
  platform.cdnPaths.clear();
  EXPECT_EQ(Run(VideoLink("mp4", 0)), 1);
  EXPECT_EQ(desktop.opened,
            (std::vector<std::string>{Viewer() + "|http://" + platform.CdnServer() +
                                          "/v/555.mp4 播放在线视频",
                                      Viewer() + "|" + PlatformStream()}));
}

// Downloaded and handed on as an experiment, which only a program can be:
// nothing is opened or started.
TEST_F(VideoTest, AVideoOfAnotherKindIsDownloadedAndNotRunAsAnExperiment) {
  InstallViewer();
  platform.resources["555"] = Pattern(1000);
  EXPECT_EQ(Run(VideoLink("mp4", 1)), 0);
  EXPECT_TRUE(desktop.opened.empty());
  EXPECT_TRUE(desktop.started.empty());
  EXPECT_TRUE(platform::FileExists(app->m_pFileList->m_strResourceDir + "\\555.mp4"));
  EXPECT_EQ(platform.RequestsFor("/file/downLoad?ft=1&u=2&fid=555 ").size(), 1u);
}

TEST_F(VideoTest, MissingViewerIsInstalledOnYesThenStarted) {
  desktop.answers = {true};
  desktop.hiddenRun = [this](const std::string&) { InstallViewer(); };
  EXPECT_EQ(Run(VideoLink("mp4", 0)), 1);
  EXPECT_EQ(desktop.questions, std::vector<std::string>{"提示|维墨视频浏览工具尚未安装，是否现在安装？"});
  EXPECT_EQ(app->bars, std::vector<std::string>{"http://" VELMORA_DEFAULT_HOST
                                                ":7112/VelmoraTool/webView.exe|" + ToolsDir() +
                                                "\\webView.exe|正在下载视频插件"});
  // Run only once its signature, from beside it, holds.
  EXPECT_EQ(toolFetcher.requested, std::vector<std::string>{"http://" VELMORA_DEFAULT_HOST
                                                            ":7112/VelmoraTool/webView.exe.sig"});
  EXPECT_EQ(desktop.started, std::vector<std::string>{"hidden|\"" + ToolsDir() + "\\webView.exe\""});
  EXPECT_EQ(desktop.opened, std::vector<std::string>{Viewer() + "|" + PlatformStream()});
  EXPECT_EQ(app->Shared().bInstallingViewer, 0);
}

TEST_F(VideoTest, ViewerInstallationDeclinedFailedOrUnderWay) {
  const struct { bool installing; bool answer; bool barOk; bool startOk; size_t bars;
                 const char* message; } cases[] = {
      {true, true, true, true, 0, nullptr},  // another process installs it
      {false, false, true, true, 0, nullptr},
      {false, true, false, true, 1, "提示|维墨视频浏览工具安装失败！"},
      {false, true, true, false, 1, "提示|维墨视频浏览工具安装失败！"},
  };
  for (const auto& c : cases) {
    desktop.questions.clear();
    desktop.messages.clear();
    app->bars.clear();
    app->Shared().bInstallingViewer = c.installing;
    desktop.answers = {c.answer};
    app->barSucceeds = c.barOk;
    desktop.startSucceeds = c.startOk;
    EXPECT_EQ(Run(VideoLink("mp4", 0)), 1);
    EXPECT_EQ(desktop.questions.size(), c.installing ? 0u : 1u);
    EXPECT_EQ(app->bars.size(), c.bars);
    EXPECT_EQ(desktop.messages, c.message ? std::vector<std::string>{c.message}
                                          : std::vector<std::string>{});
    EXPECT_EQ(app->Shared().bInstallingViewer, c.installing ? 1 : 0);
    EXPECT_TRUE(desktop.opened.empty());
  }
}

TEST_F(VideoTest, CourseToolIsFetchedWithTheBarOnly) {
  EXPECT_TRUE(app->DownloadCourseTool());
  EXPECT_EQ(app->bars, std::vector<std::string>{"http://" VELMORA_DEFAULT_HOST
                                                ":7112/VelmoraTool/VmCourse_self.exe|" +
                                                ToolsDir() + "\\VmCourse_self.exe|正在下载微课工具"});
  EXPECT_TRUE(desktop.started.empty());
  app->barSucceeds = false;
  EXPECT_FALSE(app->DownloadCourseTool());
}

}  // namespace
