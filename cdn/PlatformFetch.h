#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

struct PlatformFetchSettings {
  std::string host;
  int port = 8112;
  // Seconds without a byte from the platform before a fetch is given up; also
  // the window over which the rate floor below is measured.
  int timeoutSeconds = 60;
  // The slowest average a fetch may keep over each window: a platform that
  // trickles a byte now and then must not hold a fetch slot for hours.
  int64_t minBytesPerSecond = 8192;
};

// One fetch from the platform into `partPath`, which must not exist.
struct CdnFetchRequest {
  std::string fid;
  std::string partPath;
  int64_t maxBytes = 0;
  const std::atomic<bool>* stop = nullptr;
  // Asked with the platform's Content-Length before a byte is written, so the
  // room is taken before the file arrives; false abandons the fetch.
  std::function<bool(int64_t size)> reserve;
};

// True with the Content-Length when a reply head announces a whole file as it
// is stored: 200, no transfer or content coding but identity, and exactly one
// Content-Length. Anything else (a range, a compressed or chunked body) would
// be cached as bytes that are not the file; `reason` says why it is refused.
bool AcceptPlatformReplyHead(const std::string& head, int64_t& contentLength,
                             std::string& reason);

// Downloads one file from the platform's download service, the same URL the
// assistant uses. True with `size` when the reply head passed
// AcceptPlatformReplyHead, the length was within `maxBytes` and reserved, and
// exactly that many bytes arrived (a longer body is refused as well). Silence,
// a rate under the floor, or `stop` end the transfer within a fraction of a
// second.
bool FetchFromPlatform(const PlatformFetchSettings& settings, const CdnFetchRequest& request,
                       int64_t& size);
