#include "tools/ToolCommands.h"

#include "BuildConfig.h"
#include "app/AssistantApp.h"
#include "platform/SystemDirs.h"
#include "tools/BrowsePlugin.h"
#include "tools/CompanionTools.h"
#include "tools/DocToolsInstaller.h"
#include "tools/OfficeAddins.h"
#include "tools/UpdateCheck.h"

namespace {

// The main window keeps one installer for the whole run.
CDocToolsInstaller& ProgramInstaller() {
  static CDocToolsInstaller* installer = new CDocToolsInstaller;  // outlives a running worker
  return *installer;
}

std::string OrSystem(const std::string& dir, std::string (*system)()) {
  return dir.empty() ? system() : dir;
}

}  // namespace

bool IsToolInstallerRunning() { return ProgramInstaller().IsRunning(); }

void WaitForToolInstaller() { ProgramInstaller().Wait(); }

ToolContext MakeToolContext(CAssistantApp& app) {
  ToolContext context;
  context.desktop = &app.Desktop();
  context.fetcher = &WebToolFetcher();
  context.libraries = &platform::SystemLibraries();
  context.registry = &platform::SystemRegistry();
  context.info = &app.m_toolInfo;
  context.installer = &ProgramInstaller();
  context.host = VELMORA_DEFAULT_HOST;
  context.programPath = platform::ProgramPath();
  context.dataDir = app.m_pSettings->m_strDataDir;
  context.toolsDir = app.m_pSettings->m_strToolsDir;
  // Set at start-up; a command run before it still finds the system's.
  context.windowsDir = OrSystem(app.m_toolPaths.windowsDir, platform::WindowsDirectory);
  context.tempDir = OrSystem(app.m_toolPaths.tempDir, platform::TempDirectory);
  context.systemDir = platform::SystemDirectory();
  context.downloadBar = [&app](const std::string& url, const std::string& dir,
                               const std::string& name, const std::string& label) {
    return app.RunDownloadBar(url, dir, name, label);
  };
  context.showStatus = [&app](bool shown) { app.ShowAddinInstallWindow(shown); };
  return context;
}

bool RunToolCommand(CAssistantApp& app, int id) { return RunToolCommand(MakeToolContext(app), id); }

bool RunToolCommand(const ToolContext& context, int id) {
  switch (id) {
    case 1145: InstallVideoViewer(context); return true;
    case 1164: DownloadViewerInBrowser(context); return true;
    case 1174: OpenToolsDirectory(context); return true;
    case 1158: OpenMicroCourse(context); return true;
    case 1149: InstallMicroCourse(context); return true;
    case 1155: OpenDocConverter(context); return true;
    case 1156: OpenDocReader(context); return true;
    case 1146: InstallDocTools(context); return true;
    case 1157: OpenBrowsePlugin(context); return true;
    case 1147: InstallBrowsePlugin(context); return true;
    case 1148: InstallOfficeAddinsCommand(context); return true;
    default: return false;
  }
}

void CheckForUpdateFromMenu(CAssistantApp& app) { CheckForUpdateFromMenu(MakeToolContext(app)); }

void CheckForUpdateFromMenu(const ToolContext& context) {
  bool found = false;
  CheckForUpdate(context, found);
  if (found) return;
  // Without the description file nothing is known: saying "current" would
  // hide a failed check.
  if (!context.info->fetched) {
    ShowToolMessage(context, "无法连接服务器，检测最新版本失败！", platform::MessageIcon::Stop);
    return;
  }
  ShowToolMessage(context, "目前版本已是最新！", platform::MessageIcon::Information);
}

bool CheckForUpdateAtStartup(CAssistantApp& app) {
  bool found = false;
  return CheckForUpdate(MakeToolContext(app), found);
}
