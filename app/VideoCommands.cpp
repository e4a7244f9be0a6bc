#include <chrono>
#include <cstdio>
#include <thread>

#include "BuildConfig.h"
#include "app/AssistantApp.h"
#include "app/CdnLookup.h"
#include "app/DownloadUrls.h"
#include "platform/Files.h"

namespace {

const char kPromptCaption[] = "提示";
constexpr int TOOL_SERVER_PORT = 7112;
constexpr int VIEWER_START_DELAY_MS = 1000;  // the installer's files settle first

std::string ToolServerUrl(const std::string& file) {
  char url[512];
  snprintf(url, sizeof url, "http://%s:%d/%s/%s", VELMORA_DEFAULT_HOST, TOOL_SERVER_PORT,
           "VelmoraTool", file.c_str());
  return url;
}

}  // namespace

void CAssistantApp::PlayOnlineVideo(CUrlCommand& command) {
  const std::string& toolsDir = m_pSettings->m_strToolsDir;
  platform::DeleteFileAt(toolsDir + "\\webView\\debug.log");
  std::string host = command.m_strServer.empty() ? m_pSettings->m_strLastHost : command.m_strServer;
  const std::string cdnServer = ReadCdnServer(Shared());
  std::string cdnPath;
  int64_t size = 0;
  if (!cdnServer.empty()) CdnFindFile(cdnServer, command.m_strFid, cdnPath, size);
  const std::string url = cdnPath.empty() ? PlatformDownloadUrl(host, 3, command.m_strFid)
                                          : CdnFileUrl(cdnServer, cdnPath);
  const std::string parameters = url + " 播放在线视频";
  const std::string viewer = toolsDir + "\\webView\\webView.exe";
  if (platform::FileExists(viewer)) {
    m_desktop.ShellOpen(viewer, parameters);
    return;
  }
  // Another process is installing the viewer already.
  if (Shared().bInstallingViewer) return;
  if (!m_desktop.AskYesNo("维墨视频浏览工具尚未安装，是否现在安装？", kPromptCaption)) return;
  Shared().bInstallingViewer = 1;
  bool installed = DownloadVideoViewer();
  Shared().bInstallingViewer = 0;
  if (!installed) {
    m_desktop.ShowMessage("维墨视频浏览工具安装失败！", kPromptCaption,
                          platform::MessageIcon::Stop, true);
    return;
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(VIEWER_START_DELAY_MS));
  m_desktop.ShellOpen(viewer, parameters);
}

// The installer from the tool server puts the viewer into Tools\webView.
bool CAssistantApp::DownloadVideoViewer() {
  const std::string& toolsDir = m_pSettings->m_strToolsDir;
  if (!RunDownloadBar(ToolServerUrl("webView.exe"), toolsDir, "正在下载视频插件")) return false;
  // Quoted: the tools directory lies below the user's profile, whose path
  // may hold blanks.
  auto installer = m_desktop.StartHidden("\"" + toolsDir + "\\webView.exe\"");
  if (!installer) return false;
  installer->Wait();
  return true;
}

bool CAssistantApp::DownloadCourseTool() {
  return RunDownloadBar(ToolServerUrl("VmCourse_self.exe"), m_pSettings->m_strToolsDir,
                        "正在下载微课工具");
}
