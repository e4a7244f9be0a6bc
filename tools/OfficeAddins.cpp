#include "tools/OfficeAddins.h"

#include <cstdio>

#include "platform/Files.h"
#include "tools/BrowsePlugin.h"

namespace {

const char kDocAddin[] = "VelmoraAddInDoc.dll";
const char kPptAddin[] = "VelmoraAddInPpt.dll";
const char kIcon[] = "Velmora128.ico";
const char kReader[] = "VmSFDocReader.exe";
const int kHighestVersion = 999;  // far above any release; keeps the key name sane

const char kNotice[] =
    "安装Office插件注意事项：\n1、请将电脑中所有已打开的Office文档关闭；\n"
    "2、插件安装需要管理员权限，请确保Velmora助手以管理员方式打开:\n"
    "     右键点击程序“以管理员身份运行(&A)”即可。\n";

void CopyIntoWindows(const ToolContext& context, const char* name) {
  platform::CopyFileReplacing(ToolPath(context, name), context.windowsDir + name);
}

}  // namespace

void InstallOfficeAddinsCommand(const ToolContext& context) {
  context.desktop->ShowMessage(kNotice, "提示", platform::MessageIcon::Warning, true);
  if (platform::FileExists(ToolPath(context, kReader)) &&
      !AskTool(context, "Office插件已安装，是否重新安装？"))
    return;
  if (InstallOfficeAddins(context))
    ShowToolMessage(context, "安装成功！", platform::MessageIcon::Information);
  else
    ShowToolMessage(context, "安装失败！", platform::MessageIcon::Stop);
}

bool InstallOfficeAddins(const ToolContext& context) {
  for (const char* name : {kDocAddin, kPptAddin, kIcon, kReader})
    if (!FetchSignedToolFile(context, name, ToolPath(context, name))) return false;
  if (!FetchBrowsePlugin(context)) return false;
  RegisterLibrary(context, ToolPath(context, kDocAddin));
  RegisterLibrary(context, ToolPath(context, kPptAddin));
  CopyIntoWindows(context, kIcon);
  context.desktop->ShellOpenHidden(ToolPath(context, kReader));
  CopyIntoWindows(context, "VmBrowser.dll");
  CopyIntoWindows(context, "cximagecrt.dll");
  SetHyperlinkWarningOff(*context.registry);
  return true;
}

// The system's own regsvr32.exe: a bare name would be searched in the
// program's and the current directory first, and the add-ins are installed
// with administrator rights.
bool RegisterLibrary(const ToolContext& context, const std::string& path) {
  if (context.systemDir.empty()) return false;
  return context.desktop->StartProgram(context.systemDir + "regsvr32.exe",
                                       "\"regsvr32.exe\" \"" + path + "\"");
}

int OfficeMajorVersion(const std::string& curVer) {
  size_t dot = curVer.rfind('.');
  if (dot == std::string::npos || dot == 0) return -1;
  int version = 0;
  size_t at = dot + 1;
  for (; at < curVer.size() && curVer[at] >= '0' && curVer[at] <= '9'; ++at) {
    version = version * 10 + (curVer[at] - '0');
    if (version > kHighestVersion) return -1;
  }
  // Without digits there is no version, and no key of the program to write.
  return at == dot + 1 ? -1 : version;
}

bool SetHyperlinkWarningOff(platform::IRegistry& registry) {
  std::string curVer;
  if (!registry.QueryString(platform::RegRoot::ClassesRoot, "PowerPoint.Application\\CurVer", "",
                            260, curVer))
    return false;
  int version = OfficeMajorVersion(curVer);
  if (version < 0) return false;
  char key[96];
  snprintf(key, sizeof key, "Software\\Microsoft\\Office\\%d.0\\Common\\Security", version);
  return registry.SetDword(platform::RegRoot::CurrentUser, key, "DisableHyperlinkWarning", 1);
}
