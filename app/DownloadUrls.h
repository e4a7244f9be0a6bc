#pragma once
#include <string>

#include "net/ServerAddress.h"

// Where resources are fetched from. The platform serves downloads on port
// 8112, whatever port its interface answers on, over HTTPS when its server
// entry says so (the LAN's CDN server stays HTTP); `kind` 1 is a file, 3 a
// video stream.
inline constexpr int PLATFORM_DOWNLOAD_PORT = 8112;

inline std::string PlatformDownloadUrl(const std::string& host, int kind, const std::string& fid) {
  return ServerOrigin(host) + ":" + std::to_string(PLATFORM_DOWNLOAD_PORT) +
         "/file/downLoad?ft=" + std::to_string(kind) + "&u=2&fid=" + fid;
}

// A file that a CDN server holds, at the path its look-up named.
inline std::string CdnFileUrl(const std::string& cdnServer, const std::string& path) {
  return "http://" + cdnServer + path;
}
