#include "app/MachinePolicy.h"

#include "app/SharedState.h"
#include "net/MbcsText.h"
#include "net/ServerAddress.h"

namespace {

const char kServer[] = "Server";
const char kCdnServer[] = "CdnServer";
const char kCdnAnnouncements[] = "CdnAnnouncements";
const char kUpdateCheck[] = "UpdateCheck";
const char kResourceDir[] = "ResourceDir";
const char kRequireSignedTools[] = "RequireSignedTools";

// A text of the policy, or "" when it is not set; a value of another type or
// length is rejected as an unusable one is.
std::string ReadText(platform::IPolicyStore& store, const char* name,
                     std::vector<std::string>& rejected) {
  std::string text;
  platform::PolicyRead read = store.ReadString(name, text);
  if (read == platform::PolicyRead::Unusable)
    rejected.push_back(std::string(name) + " (not a text of at most 1023 bytes)");
  return read == platform::PolicyRead::Found ? text : std::string();
}

// A server is named as a cache server is: host name or address, optional
// port; the platform's server may also be "https://" and the same. The LAN's
// cache server is the school's own and stays HTTP.
void ReadServer(platform::IPolicyStore& store, const char* name, bool secureAllowed,
                std::string& server, std::vector<std::string>& rejected) {
  std::string text = ReadText(store, name, rejected);
  if (text.empty()) return;
  const bool secure = secureAllowed && IsSecureServer(text);
  if (IsCdnServerAddress(secure ? ServerHostName(text) : text))
    server = NormalizedServerHost(text);
  else
    rejected.push_back(std::string(name) +
                       (secureAllowed ? " (not host, host:port or https://host[:port]): "
                                      : " (not host or host:port): ") +
                       text);
}

// A switch is off only when set to 0; any other number keeps it on.
void ReadSwitch(platform::IPolicyStore& store, const char* name, bool& on,
                std::vector<std::string>& rejected) {
  uint32_t number = 1;
  platform::PolicyRead read = store.ReadDword(name, number);
  if (read == platform::PolicyRead::Found) on = number != 0;
  if (read == platform::PolicyRead::Unusable) rejected.push_back(std::string(name) + " (not a DWORD)");
}

// An absolute directory of a drive ("X:\...") or a share ("\\server\..."),
// or of the portable build's own file system ("/...").
bool IsAbsoluteDir(const std::string& dir) {
  if (dir.size() >= 3 && dir[1] == ':' && dir[2] == '\\') return true;
  if (dir.size() >= 3 && dir[0] == '\\' && dir[1] == '\\') return true;
  return dir.size() >= 2 && dir[0] == '/';
}

}  // namespace

const std::vector<std::string>& MachinePolicyValueNames() {
  static const std::vector<std::string> names = {kServer, kCdnServer, kCdnAnnouncements,
                                                 kUpdateCheck, kResourceDir, kRequireSignedTools};
  return names;
}

MachinePolicy ReadMachinePolicy(platform::IPolicyStore& store, std::vector<std::string>& rejected) {
  MachinePolicy policy;
  ReadServer(store, kServer, true, policy.server, rejected);
  ReadServer(store, kCdnServer, false, policy.cdnServer, rejected);
  ReadSwitch(store, kCdnAnnouncements, policy.cdnAnnouncements, rejected);
  ReadSwitch(store, kUpdateCheck, policy.updateCheck, rejected);
  ReadSwitch(store, kRequireSignedTools, policy.requireSignedTools, rejected);
  std::string dir = ReadText(store, kResourceDir, rejected);
  if (!dir.empty()) {
    while (dir.size() > 3 && dir.back() == '\\') dir.pop_back();
    if (IsAbsoluteDir(dir)) policy.resourceDir = dir;
    else rejected.push_back(std::string(kResourceDir) + " (not an absolute directory): " + dir);
  }
  return policy;
}

namespace {

// A drive's root is kept with its "\" ("D:\"); other directories have none.
std::string WithoutTrailingSeparator(const std::string& dir) {
  return !dir.empty() && dir.back() == '\\' ? dir.substr(0, dir.size() - 1) : dir;
}

bool IsAccountDirName(const std::string& name) {
  if (name.empty()) return false;
  for (char c : name)
    if ((c < '0' || c > '9') && c != '-') return false;
  return true;
}

}  // namespace

std::string PolicyAccountResourceDir(const std::string& policyDir, const std::string& accountDirName) {
  return WithoutTrailingSeparator(policyDir) + "\\" + accountDirName;
}

bool IsPolicyResourceDir(const std::string& dir, const std::string& policyDir) {
  if (policyDir.empty()) return false;
  const std::string base = WithoutTrailingSeparator(policyDir);
  if (MbcsEqualNoCase(WithoutTrailingSeparator(dir), base)) return true;
  if (dir.size() <= base.size() + 1 || dir[base.size()] != '\\') return false;
  return MbcsEqualNoCase(dir.substr(0, base.size()), base) &&
         IsAccountDirName(dir.substr(base.size() + 1));
}
