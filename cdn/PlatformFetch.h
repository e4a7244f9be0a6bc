#pragma once
#include <atomic>
#include <cstdint>
#include <string>

struct PlatformFetchSettings {
  std::string host;
  int port = 8112;
  int timeoutSeconds = 60;
};

// Downloads one file from the platform's download service into `partPath`
// (which must not exist) with the project's own HTTP client, the same URL
// the assistant uses. True with `size` when the reply carried a
// Content-Length within `maxBytes` and all of it arrived; a reply without a
// length, with a larger one, or a stop request ends the transfer at once.
bool FetchFromPlatform(const PlatformFetchSettings& settings, const std::string& fid,
                       const std::string& partPath, int64_t maxBytes,
                       const std::atomic<bool>& stop, int64_t& size);
