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
#include "cdn/PlatformFetch.h"

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

// Fetches one file from the platform; true with the size the platform
// announced. It must give up when `*request.stop` becomes true, must not
// write more than `request.maxBytes` and must reserve the size before it
// writes.
using CdnFetchFunction = std::function<bool(const CdnFetchRequest& request, int64_t& size)>;
// Starts a thread; throws std::system_error when the system has none to give.
using CdnThreadStarter = std::function<std::thread(std::function<void()>)>;
std::thread StartSystemThread(std::function<void()> body);

// Told of every answered look-up and every finished fetch (for the counters).
class ICdnObserver {
 public:
  virtual ~ICdnObserver() = default;
  virtual void Answered(const std::string& client, const CdnFindResult& result) = 0;
  virtual void Fetched(int64_t bytes) = 0;
};

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
// Fetch slots are shared out by client: one client has at most one running
// fetch of its own, and one slot is kept for files that more than one client
// asked for, so a machine asking for many files never delays the others.
class CCdnService {
 public:
  CCdnService(CCacheStore& store, CdnFetchFunction fetch, CdnServiceLimits limits,
              CdnThreadStarter startThread = StartSystemThread)
      : m_store(store),
        m_fetch(std::move(fetch)),
        m_limits(limits),
        m_startThread(std::move(startThread)) {}
  ~CCdnService() { Stop(); }
  CCdnService(const CCdnService&) = delete;
  CCdnService& operator=(const CCdnService&) = delete;

  void SetObserver(ICdnObserver* observer) { m_pObserver = observer; }
  // Answers at once, or after at most `findWaitMilliseconds` when `wait`
  // is set and the file is being fetched. `client` is the asking machine's
  // address (empty: not known, no per-client share).
  CdnFindResult Find(const std::string& fid, bool wait = false, const std::string& client = "");
  // Stops running fetches (their part files stay for the next start to clear)
  // and waits for them.
  void Stop();
  // Tells running fetches and waiting look-ups to end, without waiting.
  void RequestStop();
  // Stop, waiting at most `milliseconds`: false when a fetch is still stuck
  // where it cannot notice (a name look-up), so a shutdown need not wait.
  bool StopWithin(int milliseconds);
  // For tests and shutdown: waits until no fetch is running.
  void WaitIdle();
  int RunningFetches();
  CCacheStore& Store() { return m_store; }

 private:
  struct Job {
    std::thread thread;
    std::string starter;  // the client the fetch counts against; empty when shared
    bool done = false;
  };
  struct Asked {
    int64_t when = 0;
    std::string first;   // the first client that asked
    bool shared = false;  // another client asked too
  };
  CdnFindResult FindNow(const std::string& fid, const std::string& client);
  void WaitForFetch(const std::string& fid);
  void RunFetch(const std::string& fid);
  void ReapFinishedLocked();
  bool IdleLocked() const;
  bool RecentlyFailedLocked(const std::string& fid);
  bool NoteAskerLocked(const std::string& fid, const std::string& client);
  bool MayStartLocked(const std::string& client, bool shared);
  void StartFetchLocked(const std::string& fid, const std::string& starter);

  CCacheStore& m_store;
  CdnFetchFunction m_fetch;
  CdnServiceLimits m_limits;
  CdnThreadStarter m_startThread;
  ICdnObserver* m_pObserver = nullptr;
  std::mutex m_lock;
  std::condition_variable m_changed;
  std::map<std::string, std::unique_ptr<Job>> m_jobs;
  std::map<std::string, int64_t> m_failures;  // fid -> steady-clock microseconds of the failure
  std::map<std::string, Asked> m_asked;        // files asked for and not started yet
  std::atomic<bool> m_bStopping{false};
};

// The JSON body of a look-up reply, as the assistant reads it.
std::string FormatFindReply(const CdnFindResult& result);
