#include "tools/ToolCommands.h"

#include "tools/BrowsePlugin.h"
#include "tools/CompanionTools.h"
#include "tools/DocToolsInstaller.h"
#include "tools/OfficeAddins.h"
#include "tools/UpdateCheck.h"

// The main window keeps one installer for the whole run.
CDocToolsInstaller& ProgramInstaller() {
  static CDocToolsInstaller* installer = new CDocToolsInstaller;  // outlives a running worker
  return *installer;
}

bool IsToolInstallerRunning() { return ProgramInstaller().IsRunning(); }

void WaitForToolInstaller() { ProgramInstaller().Wait(); }

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
