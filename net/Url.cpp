#include "net/Url.h"

#include "net/MbcsText.h"

namespace {

bool HasControlByte(const std::string& text) {
  for (unsigned char c : text)
    if (c < 0x20 || c == 0x7F) return true;
  return false;
}

bool ParsePort(const std::string& text, int& port) {
  if (text.empty()) return true;  // "host:" keeps the default
  if (text.size() > 5) return false;
  int value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  if (value > 65535) return false;
  port = value;
  return true;
}

bool StartsWithNoCase(const std::string& text, const std::string& prefix) {
  return text.size() >= prefix.size() && MbcsEqualNoCase(text.substr(0, prefix.size()), prefix);
}

}  // namespace

bool CrackUrl(const std::string& url, UrlParts& parts) {
  const bool secure = StartsWithNoCase(url, "https://");
  if (!secure && !StartsWithNoCase(url, "http://")) return false;
  if (HasControlByte(url)) return false;
  std::string rest = url.substr(secure ? 8 : 7);
  rest = rest.substr(0, rest.find('#'));
  size_t objectStart = rest.find_first_of("/?");
  std::string authority = rest.substr(0, objectStart);
  std::string object = objectStart == std::string::npos ? "" : rest.substr(objectStart);
  size_t at = authority.rfind('@');
  if (at != std::string::npos) authority = authority.substr(at + 1);
  int port = secure ? 443 : 80;
  size_t colon = authority.find(':');
  if (colon != std::string::npos) {
    if (!ParsePort(authority.substr(colon + 1), port)) return false;
    authority.resize(colon);
  }
  if (authority.empty() || authority.find(' ') != std::string::npos) return false;
  if (object.empty() || object[0] == '?') object = "/" + object;
  parts.bSecure = secure;
  parts.strHost = authority;
  parts.nPort = port;
  parts.strObject = object;
  return true;
}
