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

bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// Length of a URL scheme of two or more characters before the text's first
// ':' (a single letter is a drive); 0 when there is none.
size_t SchemeLength(const std::string& text) {
  size_t colon = text.find(':');
  if (colon == std::string::npos || colon < 2 || !IsAsciiLetter(text[0])) return 0;
  for (size_t i = 1; i < colon; ++i) {
    char c = text[i];
    if (!IsAsciiLetter(c) && !(c >= '0' && c <= '9') && c != '+' && c != '-' && c != '.')
      return 0;
  }
  return colon;
}

}  // namespace

bool OpeningRunsCode(const std::string& path, platform::IDesktop& desktop) {
  const std::string ext = ShellExtension(path);
  if (!ext.empty() && std::find(std::begin(kCodeExtensions), std::end(kCodeExtensions), ext) !=
                          std::end(kCodeExtensions))
    return true;
  return desktop.IsDangerousType(path);
}

FileFormTarget ClassifyFileFormPath(const std::string& path, std::string& machine) {
  std::string p = MbcsReplaceChar(TrimSpaces(path), '\\', '/');
  if (p.size() >= 3 && IsAsciiLetter(p[0]) && p[1] == ':' && p[2] == '/')
    return FileFormTarget::LocalFile;
  std::string rest = p;
  const size_t scheme = SchemeLength(p);
  if (scheme > 0) {
    // file://host/... is a share of that host; file:///C:/... has none.
    if (MbcsToLower(p.substr(0, scheme)) != "file") return FileFormTarget::OtherHandler;
    rest = p.substr(scheme + 1);
  }
  if (rest.compare(0, 2, "//") != 0) return FileFormTarget::OtherHandler;
  std::string host = rest.substr(2, rest.find('/', 2) - 2);
  // "//?/" and "//./" are this machine's device paths, not a host.
  if (host.empty() || host == "?" || host == ".") return FileFormTarget::OtherHandler;
  machine = host;
  return FileFormTarget::OtherMachine;
}

std::string BuildProgramCommandLine(const std::string& path, const std::string& args) {
  std::string line = "\"" + path + "\"";
  if (!args.empty()) line += " \"" + args + "\"";
  return line;
}
