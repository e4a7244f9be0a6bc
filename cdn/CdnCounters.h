#pragma once
#include <cstdint>
#include <ctime>
#include <functional>
#include <map>
#include <mutex>
#include <string>

#include "cdn/CdnService.h"

// The counters' file in the cache directory.
constexpr const char* CDN_COUNTERS_FILE = "counters";

// What the cache saved over some time. A hit is a look-up answered with the
// file (ret 0): the student then downloads it from nginx, which this program
// does not see, so the file's size counts as served. A miss is a look-up sent
// to the platform (ret 1 or 3).
struct CdnTally {
  int64_t hits = 0;
  int64_t misses = 0;
  int64_t servedBytes = 0;
  int64_t fetches = 0;
  int64_t fetchedBytes = 0;
};

// The counters since the cache was first started and for the current day
// (local date), kept in one small file in the cache directory so that they
// survive a restart. At the turn of a day the finished day's saving goes to
// the journal. Thread-safe.
class CCdnCounters : public ICdnObserver {
 public:
  using NowFunction = std::function<time_t()>;
  using JournalFunction = std::function<void(const std::string& line)>;
  explicit CCdnCounters(std::string path, NowFunction now = DefaultNow,
                        JournalFunction journal = DefaultJournal)
      : m_strPath(std::move(path)), m_now(std::move(now)), m_journal(std::move(journal)) {}

  // Reads the saved counters; a missing file starts from zero. False (with
  // fresh counters) for a file that cannot be read back.
  bool Load(std::string& error);
  // Writes them next to the file and renames over it, so a crash leaves the
  // old or the new counters and never half of them. Skipped when unchanged.
  bool Save(std::string& error);
  // Starts a new day when the date has changed since the last record.
  void Tick();

  void Answered(const std::string& client, const CdnFindResult& result) override;
  void Fetched(int64_t bytes) override;

  CdnTally Total() const;
  CdnTally Today() const;
  std::string Since() const;
  // Distinct clients with a look-up in the last `seconds`.
  int ClientsSeen(int seconds) const;

  static time_t DefaultNow() { return time(nullptr); }
  static void DefaultJournal(const std::string& line);

 private:
  void RollDayLocked(time_t now);
  void NoteClientLocked(const std::string& client, time_t now);

  std::string m_strPath;
  NowFunction m_now;
  JournalFunction m_journal;
  mutable std::mutex m_lock;
  CdnTally m_total;
  CdnTally m_today;
  std::string m_strDay;    // the local date that m_today counts
  std::string m_strSince;  // the local date the counting began
  std::map<std::string, time_t> m_clients;
  bool m_bChanged = false;
};

// "41.2 GiB", "512 B": bytes as a person reads them.
std::string FormatByteAmount(int64_t bytes);
// The journal's line for one day: "served 41.2 GiB to 612 look-ups, fetched 1.3 GiB".
std::string FormatDaySaving(const CdnTally& day);
// The local date of `when` as "2026-12-09".
std::string LocalDate(time_t when);
