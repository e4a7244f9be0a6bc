#include "cdn/CdnService.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>

#include "cdn/FileId.h"

namespace {

// Bounds the memory that a stream of look-ups for missing ids can take.
constexpr size_t MAX_REMEMBERED_FAILURES = 4096;

// Fills `result` for a file held whole; false when it is not.
bool LookupHeld(CCacheStore& store, const std::string& fid, CdnFindResult& result) {
  if (!store.Lookup(fid, result.size)) return false;
  result.ret = CDN_RET_HELD;
  result.path = "/files/" + fid;
  return true;
}

int64_t SteadySeconds() {
  using namespace std::chrono;
  return duration_cast<seconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

CdnFindResult CCdnService::Find(const std::string& fid, bool wait) {
  CdnFindResult result = FindNow(fid);
  if (!wait || result.ret != CDN_RET_FETCHING || m_limits.findWaitMilliseconds <= 0) return result;
  WaitForFetch(fid);
  LookupHeld(m_store, fid, result);
  return result;
}

void CCdnService::WaitForFetch(const std::string& fid) {
  std::unique_lock<std::mutex> guard(m_lock);
  m_changed.wait_for(guard, std::chrono::milliseconds(m_limits.findWaitMilliseconds), [&] {
    auto job = m_jobs.find(fid);
    return m_bStopping || job == m_jobs.end() || job->second->done;
  });
}

CdnFindResult CCdnService::FindNow(const std::string& fid) {
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
  if (m_bStopping || (int)m_jobs.size() >= m_limits.maxFetches) return result;
  auto job = std::make_unique<Job>();
  Job* started = job.get();
  m_jobs[fid] = std::move(job);
  started->thread = std::thread(&CCdnService::RunFetch, this, fid);
  return result;
}

void CCdnService::RunFetch(const std::string& fid) {
  std::string part = m_store.PartPath(fid);
  unlink(part.c_str());
  int64_t size = 0;
  bool ok = false;
  try {
    ok = m_fetch(fid, part, m_store.Cap(), m_bStopping, size) && !m_bStopping &&
         m_store.Admit(fid, size);
  } catch (...) {
    ok = false;
  }
  if (!ok) unlink(part.c_str());
  std::fprintf(stderr, "velmora-cdn: fetch of %s %s\n", fid.c_str(),
               ok ? ("done, " + std::to_string(size) + " bytes").c_str() : "failed");
  std::lock_guard<std::mutex> guard(m_lock);
  if (!ok && !m_bStopping) {
    if (m_failures.size() >= MAX_REMEMBERED_FAILURES) m_failures.clear();
    m_failures[fid] = SteadySeconds();
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
  if (SteadySeconds() - failed->second < m_limits.retryAfterSeconds) return true;
  m_failures.erase(failed);
  return false;
}

void CCdnService::WaitIdle() {
  std::unique_lock<std::mutex> guard(m_lock);
  m_changed.wait(guard, [this] {
    for (auto& job : m_jobs) {
      if (!job.second->done) return false;
    }
    return true;
  });
  ReapFinishedLocked();
}

int CCdnService::RunningFetches() {
  std::lock_guard<std::mutex> guard(m_lock);
  int running = 0;
  for (auto& job : m_jobs) running += job.second->done ? 0 : 1;
  return running;
}

void CCdnService::Stop() {
  {
    std::lock_guard<std::mutex> guard(m_lock);
    m_bStopping = true;
  }
  m_changed.notify_all();
  WaitIdle();
}

std::string FormatFindReply(const CdnFindResult& result) {
  if (result.ret != CDN_RET_HELD) return "{\"ret\":" + std::to_string(result.ret) + "}";
  return "{\"ret\":0,\"path\":\"" + result.path + "\",\"size\":" + std::to_string(result.size) +
         "}";
}
