#include "cdn/CdnService.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <system_error>

#include "cdn/FileId.h"

namespace {

// Bounds the memory that a stream of look-ups for missing ids can take.
constexpr size_t MAX_REMEMBERED_FILES = 4096;

// Fills `result` for a file held whole; false when it is not.
bool LookupHeld(CCacheStore& store, const std::string& fid, CdnFindResult& result) {
  if (!store.Lookup(fid, result.size)) return false;
  result.ret = CDN_RET_HELD;
  result.path = "/files/" + fid;
  return true;
}

// Fine enough that the oldest of many entries noted in one burst is known.
int64_t SteadyMicroseconds() {
  using namespace std::chrono;
  return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

int64_t When(int64_t when) { return when; }
template <typename T>
int64_t When(const T& entry) {
  return entry.when;
}

// Makes room for one more entry by forgetting the one noted longest ago, so a
// flood of ids pushes out only the oldest of what is remembered.
template <typename Table>
void ForgetOldestAtBound(Table& table) {
  if (table.size() < MAX_REMEMBERED_FILES) return;
  auto oldest = table.begin();
  for (auto it = table.begin(); it != table.end(); ++it) {
    if (When(it->second) < When(oldest->second)) oldest = it;
  }
  table.erase(oldest);
}

}  // namespace

std::thread StartSystemThread(std::function<void()> body) { return std::thread(std::move(body)); }

CdnFindResult CCdnService::Find(const std::string& fid, bool wait, const std::string& client) {
  CdnFindResult result = FindNow(fid, client);
  if (wait && result.ret == CDN_RET_FETCHING && m_limits.findWaitMilliseconds > 0) {
    WaitForFetch(fid);
    LookupHeld(m_store, fid, result);
  }
  if (m_pObserver) m_pObserver->Answered(client, result);
  return result;
}

void CCdnService::WaitForFetch(const std::string& fid) {
  std::unique_lock<std::mutex> guard(m_lock);
  m_changed.wait_for(guard, std::chrono::milliseconds(m_limits.findWaitMilliseconds), [&] {
    auto job = m_jobs.find(fid);
    return m_bStopping || job == m_jobs.end() || job->second->done;
  });
}

CdnFindResult CCdnService::FindNow(const std::string& fid, const std::string& client) {
  CdnFindResult result;
  if (!IsSafeFileId(fid)) {
    result.ret = CDN_RET_BAD_FID;
    return result;
  }
  if (LookupHeld(m_store, fid, result)) return result;
  std::lock_guard<std::mutex> guard(m_lock);
  ReapFinishedLocked();
  if (m_jobs.count(fid)) return result;  // one fetch per file
  // The fetch may have finished between the look-up above and the lock.
  if (LookupHeld(m_store, fid, result)) return result;
  if (RecentlyFailedLocked(fid)) {
    result.ret = CDN_RET_UNAVAILABLE;
    return result;
  }
  const bool shared = NoteAskerLocked(fid, client);
  if (!m_bStopping && MayStartLocked(client, shared)) StartFetchLocked(fid, shared ? "" : client);
  return result;
}

bool CCdnService::NoteAskerLocked(const std::string& fid, const std::string& client) {
  auto asked = m_asked.find(fid);
  if (asked == m_asked.end()) {
    ForgetOldestAtBound(m_asked);
    asked = m_asked.emplace(fid, Asked{SteadyMicroseconds(), client, false}).first;
  }
  asked->second.when = SteadyMicroseconds();
  if (!client.empty() && client != asked->second.first) asked->second.shared = true;
  return asked->second.shared;
}

bool CCdnService::MayStartLocked(const std::string& client, bool shared) {
  int running = 0, own = 0;
  for (auto& job : m_jobs) {
    running += 1;
    own += !client.empty() && job.second->starter == client;
  }
  if (running >= m_limits.maxFetches) return false;
  if (shared) return true;
  // The last slot is kept for a file that several machines wait for.
  const int keptForShared = m_limits.maxFetches > 1 ? 1 : 0;
  return own == 0 && running < m_limits.maxFetches - keptForShared;
}

void CCdnService::StartFetchLocked(const std::string& fid, const std::string& starter) {
  auto job = std::make_unique<Job>();
  job->starter = starter;
  Job* started = job.get();
  m_jobs[fid] = std::move(job);
  try {
    started->thread = m_startThread([this, fid] { RunFetch(fid); });
  } catch (const std::system_error& error) {
    // Out of threads (a task or memory limit): this look-up is answered as
    // not held, and a later one tries again.
    m_jobs.erase(fid);
    std::fprintf(stderr, "velmora-cdn: cannot start the fetch of %s: %s\n", fid.c_str(),
                 error.what());
    return;
  }
  m_asked.erase(fid);
}

void CCdnService::RunFetch(const std::string& fid) {
  CdnFetchRequest request;
  request.fid = fid;
  request.partPath = m_store.PartPath(fid);
  request.maxBytes = m_store.Cap();
  request.stop = &m_bStopping;
  request.reserve = [this, fid](int64_t size) { return m_store.Reserve(fid, size); };
  unlink(request.partPath.c_str());
  int64_t size = 0;
  bool ok = false;
  try {
    ok = m_fetch(request, size) && !m_bStopping && m_store.Admit(fid, size);
  } catch (...) {
    ok = false;
  }
  if (!ok) {
    m_store.Release(fid);
    unlink(request.partPath.c_str());
  }
  std::fprintf(stderr, "velmora-cdn: fetch of %s %s\n", fid.c_str(),
               ok ? ("done, " + std::to_string(size) + " bytes").c_str() : "failed");
  if (ok && m_pObserver) m_pObserver->Fetched(size);
  std::lock_guard<std::mutex> guard(m_lock);
  if (!ok && !m_bStopping) {
    m_failures.erase(fid);
    ForgetOldestAtBound(m_failures);
    m_failures[fid] = SteadyMicroseconds();
  }
  m_jobs[fid]->done = true;
  m_changed.notify_all();
}

void CCdnService::ReapFinishedLocked() {
  for (auto it = m_jobs.begin(); it != m_jobs.end();) {
    if (it->second->done) {
      it->second->thread.join();
      it = m_jobs.erase(it);
    } else {
      ++it;
    }
  }
}

bool CCdnService::RecentlyFailedLocked(const std::string& fid) {
  auto failed = m_failures.find(fid);
  if (failed == m_failures.end()) return false;
  if (SteadyMicroseconds() - failed->second < m_limits.retryAfterSeconds * 1000000LL) return true;
  m_failures.erase(failed);
  return false;
}

bool CCdnService::IdleLocked() const {
  for (auto& job : m_jobs) {
    if (!job.second->done) return false;
  }
  return true;
}

void CCdnService::WaitIdle() {
  std::unique_lock<std::mutex> guard(m_lock);
  m_changed.wait(guard, [this] { return IdleLocked(); });
  ReapFinishedLocked();
}

int CCdnService::RunningFetches() {
  std::lock_guard<std::mutex> guard(m_lock);
  int running = 0;
  for (auto& job : m_jobs) running += job.second->done ? 0 : 1;
  return running;
}

void CCdnService::RequestStop() {
  {
    std::lock_guard<std::mutex> guard(m_lock);
    m_bStopping = true;
  }
  m_changed.notify_all();
}

void CCdnService::Stop() {
  RequestStop();
  WaitIdle();
}

bool CCdnService::StopWithin(int milliseconds) {
  RequestStop();
  std::unique_lock<std::mutex> guard(m_lock);
  const bool idle = m_changed.wait_for(guard, std::chrono::milliseconds(milliseconds),
                                       [this] { return IdleLocked(); });
  if (idle) ReapFinishedLocked();
  return idle;
}

std::string FormatFindReply(const CdnFindResult& result) {
  if (result.ret != CDN_RET_HELD) return "{\"ret\":" + std::to_string(result.ret) + "}";
  return "{\"ret\":0,\"path\":\"" + result.path + "\",\"size\":" + std::to_string(result.size) +
         "}";
}
