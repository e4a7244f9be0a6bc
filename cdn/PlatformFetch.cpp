#include "cdn/PlatformFetch.h"

#include <cstdio>

#include "net/WebClient.h"

namespace {

// What the client reports as the total when the reply has no Content-Length.
constexpr int64_t NO_CONTENT_LENGTH = 4294967295LL;

struct FetchWatch {
  CWebClient* client;
  int64_t maxBytes;
  const std::atomic<bool>* stop;
  int64_t total = -1;
};

void WatchProgress(int64_t total, int64_t /*received*/, void* user) {
  auto* watch = static_cast<FetchWatch*>(user);
  watch->total = total;
  if (*watch->stop || total == NO_CONTENT_LENGTH || total > watch->maxBytes) {
    watch->client->StopTransfer();
  }
}

}  // namespace

bool FetchFromPlatform(const PlatformFetchSettings& settings, const std::string& fid,
                       const std::string& partPath, int64_t maxBytes,
                       const std::atomic<bool>& stop, int64_t& size) {
  char url[512];
  std::snprintf(url, sizeof url, "http://%s:%d/file/downLoad?ft=1&u=2&fid=%s",
                settings.host.c_str(), settings.port, fid.c_str());
  CWebClient client;
  client.m_nRecvTimeout = client.m_nSendTimeout = settings.timeoutSeconds * 1000;
  FetchWatch watch{&client, maxBytes, &stop};
  client.m_pfnProgress = WatchProgress;
  client.m_pUserData = &watch;
  bool ok = client.Download(url, partPath);
  if (!ok || client.m_bStopped || watch.total <= 0 || watch.total == NO_CONTENT_LENGTH) {
    std::fprintf(stderr, "velmora-cdn: platform download of %s failed (code %d, total %lld)\n",
                 fid.c_str(), client.m_nError, (long long)watch.total);
    return false;
  }
  size = watch.total;
  return true;
}
