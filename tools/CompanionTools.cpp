#include "tools/CompanionTools.h"

#include "platform/Files.h"
#include "platform/WaitCursor.h"
#include "tools/DocToolsInstaller.h"

namespace {

// The micro-course tool refuses to start without it.
const char kLaunchPassword[] = "k3Tq9WxR#mPlz_#d";
const char kCourseTool[] = "VmCourse_self.exe";
const char kViewerInstaller[] = "webView.exe";

std::string ViewerPath(const ToolContext& context) {
  return context.toolsDir + "\\webView\\webView.exe";
}
std::string ConverterPath(const ToolContext& context) {
  return context.toolsDir + "\\ToPack\\VelmoraToolPack.exe";
}
std::string ReaderPath(const ToolContext& context) {
  return context.toolsDir + "\\ToPack\\ZtCourseReader.exe";
}

// A download of the bar runs only once its publisher's signature holds.
bool DownloadSignedTool(const ToolContext& context, const char* name, const char* label,
                        SignedFile kind) {
  const std::string url = ToolFileUrl(context.host, name);
  return context.downloadBar(url, context.toolsDir, name, label) &&
         VerifyToolFile(context, url, name, ToolPath(context, name), kind);
}

void StartCourseTool(const ToolContext& context) {
  platform::CWaitCursor wait;
  context.desktop->ShellOpen(ToolPath(context, kCourseTool), std::string("-p") + kLaunchPassword);
}

void OpenDocTool(const ToolContext& context, const std::string& path,
                 const std::string& question) {
  if (platform::FileExists(path)) {
    context.desktop->ShellOpen(path);
    return;
  }
  if (AskTool(context, question)) InstallDocTools(context);
}

}  // namespace

// The installers are saved under the names they are run by, whatever name
// the tool server suggests.
bool FetchVideoViewer(const ToolContext& context) {
  if (!DownloadSignedTool(context, kViewerInstaller, "正在下载视频插件", SignedFile::Tool))
    return false;
  // Quoted: the tools directory lies in the user's profile, whose name may
  // hold blanks.
  auto installer = context.desktop->StartHidden("\"" + ToolPath(context, kViewerInstaller) + "\"");
  if (!installer) return false;
  installer->Wait();
  return true;
}

bool FetchCourseTool(const ToolContext& context) {
  // Kept for later starts, each of which checks it again.
  return DownloadSignedTool(context, kCourseTool, "正在下载微课工具", SignedFile::Kept);
}

void InstallVideoViewer(const ToolContext& context) {
  platform::CWaitCursor wait;
  if (platform::FileExists(ViewerPath(context)) &&
      !AskTool(context, "Velmora视频浏览工具已安装，是否重新安装？"))
    return;
  if (FetchVideoViewer(context))
    ShowToolMessage(context, "视频插件安装成功！", platform::MessageIcon::Information);
  else
    ShowToolMessage(context, "视频插件安装失败！", platform::MessageIcon::Stop);
}

void DownloadViewerInBrowser(const ToolContext& context) {
  context.desktop->ShellOpen(ToolFileUrl(context.host, kViewerInstaller));
}

void OpenToolsDirectory(const ToolContext& context) { context.desktop->ShellOpen(context.toolsDir); }

void OpenMicroCourse(const ToolContext& context) {
  const std::string tool = ToolPath(context, kCourseTool);
  if (platform::FileExists(tool)) {
    // A copy changed on disk, or signed by a key retired since, is removed.
    if (UseKeptToolFile(context, kCourseTool, tool)) StartCourseTool(context);
    return;
  }
  if (AskTool(context, "微课制作工具尚未安装，是否现在安装？")) InstallMicroCourse(context);
}

void InstallMicroCourse(const ToolContext& context) {
  platform::CWaitCursor wait;
  if (platform::FileExists(ToolPath(context, kCourseTool)) &&
      !AskTool(context, "微课制作工具已安装，是否重新下载安装？"))
    return;
  if (FetchCourseTool(context)) StartCourseTool(context);
}

void OpenDocConverter(const ToolContext& context) {
  OpenDocTool(context, ConverterPath(context), "Velmora文档转换工具尚未安装，是否现在安装？");
}

void OpenDocReader(const ToolContext& context) {
  OpenDocTool(context, ReaderPath(context), "Velmora文档阅读工具尚未安装，是否现在安装？");
}

void InstallDocTools(const ToolContext& context) {
  platform::CWaitCursor wait;
  if (platform::FileExists(ConverterPath(context)) &&
      !AskTool(context, "Velmora文档转换工具已安装，是否重新安装？"))
    return;
  // A request while the installer works does nothing.
  context.installer->Start(context);
}
