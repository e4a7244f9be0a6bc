#include "app/CdnLookup.h"

#include <cstdlib>

#include "net/Json.h"
#include "net/MbcsText.h"
#include "net/WebClient.h"
#include "net/Codecs.h"

namespace {

// The path also reaches the video viewer's command line: a blank, a control
// byte or a quote there would end or open an argument.
bool IsPathOnServer(const std::string& path) {
  if (path.empty() || path[0] != '/') return false;
  for (unsigned char c : path)
    if (c <= 0x20 || c == 0x7f || c == '"') return false;
  return true;
}

}  // namespace

bool CdnFindFile(const std::string& cdnServer, const std::string& fid, std::string& path,
                 int64_t& size) {
  CWebClient client;
  std::string reply;
  if (!client.InetGet("http://" + cdnServer + "/command/find.do?fid=" + fid, reply)) return false;
  CJsonDocument json;
  json.Parse(Utf8ToAnsi(reply));
  if (AtoiLike(json.GetString("ret")) != 0) return false;
  std::string found = json.GetString("path");
  if (!IsPathOnServer(found)) return false;
  path = found;
  // A negative size says nothing; the platform is asked instead.
  int64_t told = std::strtoll(TrimSpaces(json.GetString("size")).c_str(), nullptr, 10);
  size = told > 0 ? told : 0;
  return true;
}
