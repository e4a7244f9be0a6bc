#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "cdn/CacheStore.h"

// "ret" of a look-up. Only 0 tells the assistant to download from us; any
// other value sends it to the platform for this time.
enum {
  CDN_RET_HELD = 0,         // "path" and "size" name the whole file
  CDN_RET_FETCHING = 1,     // not held yet; a fetch is running or was started
  CDN_RET_BAD_FID = 2,      // the file id is not one the cache accepts
  CDN_RET_UNAVAILABLE = 3,  // the platform did not deliver it lately, or it exceeds the cap
};

struct CdnFindResult {
  int ret = CDN_RET_FETCHING;
  std::string path;
  int64_t size = 0;
};

// Fetches one file from the platform into `partPath`; true with the size the
// platform announced. It must give up when `stop` becomes true and must not
// write more than `maxBytes`.
using CdnFetchFunction = std::function<bool(const std::string& fid, const std::string& partPath,
                                            int64_t maxBytes, const std::atomic<bool>& stop,
                                            int64_t& size)>;

struct CdnServiceLimits {
  int maxFetches = 4;
  int retryAfterSeconds = 30;
  // How long a look-up of a file being fetched waits for it: a file that the
  // platform delivers within this time is served from the cache to the very
  // first student, so the platform sends it once and not twice.
  int findWaitMilliseconds = 0;
};

// The look-up service: answers from the cache and, for a file it does not
// hold, starts one background fetch however many students ask meanwhile.
class CCdnService {
 public:
  CCdnService(CCacheStore& store, CdnFetchFunction fetch, CdnServiceLimits limits)
      : m_store(store), m_fetch(std::move(fetch)), m_limits(limits) {}
  ~CCdnService() { Stop(); }
  CCdnService(const CCdnService&) = delete;
  CCdnService& operator=(const CCdnService&) = delete;

  // Answers at once, or after at most `findWaitMilliseconds` when `wait`
  // is set and the file is being fetched.
  CdnFindResult Find(const std::string& fid, bool wait = false);
  // Stops running fetches (their part files stay for the next start to clear)
  // and waits for them.
  void Stop();
  // For tests and shutdown: waits until no fetch is running.
  void WaitIdle();
  int RunningFetches();

 private:
  struct Job {
    std::thread thread;
    bool done = false;
  };
  CdnFindResult FindNow(const std::string& fid);
  void WaitForFetch(const std::string& fid);
  void RunFetch(const std::string& fid);
  void ReapFinishedLocked();
  bool RecentlyFailedLocked(const std::string& fid);

  CCacheStore& m_store;
  CdnFetchFunction m_fetch;
  CdnServiceLimits m_limits;
  std::mutex m_lock;
  std::condition_variable m_changed;
  std::map<std::string, std::unique_ptr<Job>> m_jobs;
  std::map<std::string, int64_t> m_failures;  // fid -> steady-clock seconds of the failure
  std::atomic<bool> m_bStopping{false};
};

// The JSON body of a look-up reply, as the assistant reads it.
std::string FormatFindReply(const CdnFindResult& result);
