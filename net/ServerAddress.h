#pragma once
#include <string>

// A platform server's host as the settings, the accounts and the policy keep
// it: "name" for a server reached over HTTP, "https://name" for one reached
// over HTTPS. The scheme stays with the host, so that every URL built from
// that server (platform interface, downloads, tool server, pages opened)
// uses it, and a plain name keeps the designed URLs byte for byte.
constexpr char SECURE_SERVER_SCHEME[] = "https://";

bool IsSecureServer(const std::string& host);
// The name alone, without the scheme.
std::string ServerHostName(const std::string& host);
// "http://name" or "https://name": what a URL to the server starts with.
std::string ServerOrigin(const std::string& host);
// The port a server entry means when it names none: 80, or 443 over HTTPS.
int DefaultServerPort(const std::string& host);
// "https://name" from any case of the scheme ("HTTPS://name"), so that one
// server is one account; a plain name as it is.
std::string NormalizedServerHost(const std::string& host);
