#pragma once
#include <string>

// The parts of an absolute HTTP or HTTPS URL that a request needs.
struct UrlParts {
  bool bSecure = false;  // https: TLS, port 443 by default
  std::string strHost;
  int nPort = 80;
  std::string strObject;  // path and query, "/" when the URL has no path
};

// Splits "http://[user[:password]@]host[:port][/path][?query][#fragment]"
// (or the same with "https://") the way a browser reads it: the scheme in
// any case, port 80 (443 for https) by default,
// the fragment dropped (it never goes to a server), nothing decoded. Fails
// for another scheme, an empty host, a port that is not a number up to
// 65535, and control bytes anywhere (they would end the request line).
bool CrackUrl(const std::string& url, UrlParts& parts);
