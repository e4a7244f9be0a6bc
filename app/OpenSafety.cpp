#include "app/OpenSafety.h"

#include <algorithm>

#include "net/MbcsText.h"

namespace {

// Types that the shell runs rather than shows; kept even where the system's
// own list is incomplete (as under some configurations).
const char* const kCodeExtensions[] = {
    "exe", "com", "bat", "cmd", "pif", "scr", "cpl", "msc", "msi", "msp", "mst", "jar",
    "vbs", "vbe", "js", "jse", "wsf", "wsh", "ws", "ps1", "psm1", "hta", "reg", "inf",
    "lnk", "url", "scf", "shb", "application", "appref-ms", "gadget", "settingcontent-ms",
    "library-ms", "website", "chm", "dll", "sys", "py", "pyw", "vb", "sct", "xbap"};

// The extension as the shell sees it: trailing dots and blanks are ignored.
std::string ShellExtension(const std::string& path) {
  std::string name = path;
  while (!name.empty() && (name.back() == '.' || name.back() == ' ')) name.pop_back();
  size_t slash = name.find_last_of("/\\");
  size_t dot = name.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  return MbcsToLower(name.substr(dot + 1));
}

}  // namespace

bool OpeningRunsCode(const std::string& path, platform::IDesktop& desktop) {
  const std::string ext = ShellExtension(path);
  if (!ext.empty() && std::find(std::begin(kCodeExtensions), std::end(kCodeExtensions), ext) !=
                          std::end(kCodeExtensions))
    return true;
  return desktop.IsDangerousType(path);
}

bool IsRemotePath(const std::string& path) {
  std::string p = MbcsReplaceChar(path, '\\', '/');
  return p.size() >= 2 && p[0] == '/' && p[1] == '/';
}

std::string BuildProgramCommandLine(const std::string& path, const std::string& args) {
  std::string line = "\"" + path + "\"";
  if (!args.empty()) line += " \"" + args + "\"";
  return line;
}
