#include "net/ServerAddress.h"

#include <cstring>

#include "net/MbcsText.h"

namespace {

const size_t kSchemeLength = std::strlen(SECURE_SERVER_SCHEME);

}  // namespace

bool IsSecureServer(const std::string& host) {
  return host.size() >= kSchemeLength &&
         MbcsEqualNoCase(host.substr(0, kSchemeLength), SECURE_SERVER_SCHEME);
}

std::string ServerHostName(const std::string& host) {
  return IsSecureServer(host) ? host.substr(kSchemeLength) : host;
}

std::string ServerOrigin(const std::string& host) {
  return IsSecureServer(host) ? NormalizedServerHost(host) : "http://" + host;
}

int DefaultServerPort(const std::string& host) { return IsSecureServer(host) ? 443 : 80; }

std::string NormalizedServerHost(const std::string& host) {
  return IsSecureServer(host) ? SECURE_SERVER_SCHEME + ServerHostName(host) : host;
}
