#include "tools/BrowsePlugin.h"

#include <vector>

#include "platform/Files.h"
#include "platform/WaitCursor.h"
#include "tools/UpdateCheck.h"

namespace {

const char kPlugin[] = "VmBrowser.dll";
const char kImageLibrary[] = "cximagecrt.dll";
const int kPathBufferSize = 1024;
const int kNameBufferSize = 256;

// The export of the plug-in (C calling convention): parent window, two
// buffers with their sizes.
using DoBrowserProc = int (*)(void* parent, char* path, int pathSize, char* name, int nameSize);

void ReportInstallFailure(const ToolContext& context) {
  ShowToolMessage(context, "安装失败！", platform::MessageIcon::Stop);
}

// The published digest, asked for again when start-up could not fetch it.
const std::string& PublishedPluginDigest(const ToolContext& context) {
  if (context.info->browserDigest.empty()) FetchToolInfo(context);
  return context.info->browserDigest;
}

// Code fetched over plain HTTP runs in this process only as published.
bool PluginMatchesPublished(const ToolContext& context) {
  const std::string& published = PublishedPluginDigest(context);
  if (MatchesPublishedDigest(FileDigest(ToolPath(context, kPlugin)), published)) return true;
  LogToolEvent(published.empty() ? "资源浏览插件校验值未知，未加载" : "资源浏览插件校验失败，未加载");
  return false;
}

}  // namespace

bool IsBrowsePluginInstalled(const ToolContext& context) {
  const std::string& published = context.info->browserDigest;
  return MatchesPublishedDigest(FileDigest(ToolPath(context, kPlugin)), published) &&
         platform::FileExists(context.windowsDir + kImageLibrary);
}

bool FetchBrowsePlugin(const ToolContext& context) {
  const std::string plugin = ToolPath(context, kPlugin);
  if (!FetchSignedToolFile(context, kPlugin, plugin, SignedFile::Kept)) return false;
  if (!PluginMatchesPublished(context)) {
    platform::DeleteFileAt(plugin);
    platform::DeleteFileAt(plugin + ".sig");
    return false;
  }
  platform::CopyFileReplacing(plugin, context.windowsDir + kPlugin);
  const std::string imageLibrary = ToolPath(context, kImageLibrary);
  if (!platform::FileExists(imageLibrary) && !FetchSignedToolFile(context, kImageLibrary, imageLibrary))
    return false;
  platform::CopyFileReplacing(imageLibrary, context.windowsDir + kImageLibrary);
  return true;
}

void RunBrowsePlugin(const ToolContext& context) {
  // Loaded into this process: at every load, only under its kept signature.
  // A refused copy is removed and the user told; nothing more to report.
  if (!UseKeptToolFile(context, kPlugin, ToolPath(context, kPlugin))) return;
  if (!PluginMatchesPublished(context)) {
    ReportInstallFailure(context);
    return;
  }
  auto library = context.libraries->Load(ToolPath(context, kPlugin));
  void* proc = library ? library->Export("DoBrowser") : nullptr;
  if (!proc) {
    ShowToolMessage(context, "加载资源浏览插件失败！", platform::MessageIcon::Stop);
    return;
  }
  std::vector<char> path(kPathBufferSize, '\0');
  std::vector<char> name(kNameBufferSize, '\0');
  reinterpret_cast<DoBrowserProc>(proc)(context.libraries->ParentWindow(), path.data(),
                                        kPathBufferSize, name.data(), kNameBufferSize);
}

void OpenBrowsePlugin(const ToolContext& context) {
  platform::CWaitCursor wait;
  if (!IsBrowsePluginInstalled(context)) {
    if (!AskTool(context, "Velmora资源浏览插件尚未安装（或有新版本），是否现在安装？")) return;
    if (!FetchBrowsePlugin(context)) {
      ReportInstallFailure(context);
      return;
    }
  }
  RunBrowsePlugin(context);
}

void InstallBrowsePlugin(const ToolContext& context) {
  if (IsBrowsePluginInstalled(context) &&
      !AskTool(context, "Velmora资源浏览插件已安装，是否重新安装？"))
    return;
  if (!FetchBrowsePlugin(context)) {
    ReportInstallFailure(context);
    return;
  }
  RunBrowsePlugin(context);
}
