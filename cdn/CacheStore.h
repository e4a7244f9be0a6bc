#pragma once
#include <cstdint>
#include <map>
#include <mutex>
#include <string>

// How long a file answered to a student stays: long enough for the
// assistant to ask about the size and start its download.
constexpr int64_t CACHE_ANSWER_HOLD_SECONDS = 60;

// The files the cache holds whole, below one directory:
//   <dir>/files/<fid>     complete files, served by nginx as /files/<fid>
//   <dir>/tmp/<fid>.part  fetches in progress, never served
// A fetch is written under tmp/ and renamed into files/ only once it has the
// platform's size, so a kill at any moment leaves no half file where nginx
// looks. The total size stays within the cap: the least recently used files
// go first. Recency is the file's access time, set on every look-up, so the
// order survives a restart. A file older than the maximum age (by its
// modification time, the end of its fetch) is no longer offered, so a
// resource updated on the platform under the same id is fetched again.
// A fetch reserves its size before it starts, so whole files plus fetches in
// progress stay within the cap. A file evicted shortly after it was answered
// to a student stays on disk (no longer offered or counted) until the hold
// has passed, so the download that follows the answer finds it.
// Thread-safe.
class CCacheStore {
 public:
  CCacheStore(std::string dir, int64_t cap, int64_t maxAgeSeconds = 0,
              int64_t answerHoldSeconds = CACHE_ANSWER_HOLD_SECONDS)
      : m_strDir(std::move(dir)),
        m_nCap(cap),
        m_nMaxAge(maxAgeSeconds),
        m_nAnswerHold(answerHoldSeconds * 1000000000) {}

  // Creates the directories (a new or empty directory is marked as the
  // cache's own with MARKER_NAME), discards what earlier runs left in tmp/,
  // indexes files/ and evicts down to the cap (it may have been lowered). A
  // non-empty directory without the marker is refused and left untouched: it
  // is someone else's.
  bool Open(std::string& error);

  // True with the size when the file is held whole and not older than the
  // maximum age (0: no limit); counts as a use, and as an answer after
  // which the file stays on disk for the hold time.
  bool Lookup(const std::string& fid, int64_t& size);
  // Takes room for a fetch of `size` bytes, evicting; false when it cannot
  // fit beside the other fetches' reservations.
  bool Reserve(const std::string& fid, int64_t size);
  // Gives back the room of a fetch that will not be admitted.
  void Release(const std::string& fid);
  // Removes evicted files whose hold has passed; also done by every eviction.
  void UnlinkEvicted();
  // Moves a finished fetch into place, turning its reservation (if any) into
  // a held file. False (and the part file removed) unless it holds exactly
  // `size` bytes and `size` fits the cap.
  bool Admit(const std::string& fid, int64_t size);

  static constexpr const char* MARKER_NAME = ".velmora-cdn-cache";

  std::string PartPath(const std::string& fid) const { return m_strDir + "/tmp/" + fid + ".part"; }
  std::string FilePath(const std::string& fid) const { return m_strDir + "/files/" + fid; }
  int64_t Cap() const { return m_nCap; }
  int64_t UsedBytes() const;
  int64_t ReservedBytes() const;
  size_t Count() const;

 private:
  struct Entry {
    int64_t size;
    int64_t lastUse;   // nanoseconds since the epoch, strictly increasing per use
    int64_t answered;  // nanoseconds since the epoch of the last answer, 0: none
  };
  bool ClaimDirectory(std::string& error) const;
  void ScanFiles();
  void ClearPartFiles() const;
  int64_t NextUseTime();
  // Evicts least recently used files until `incoming` more bytes fit beside
  // the reservations; false when they cannot.
  bool EvictFor(int64_t incoming);
  void UnlinkDueLocked(int64_t now);

  std::string m_strDir;
  int64_t m_nCap;
  int64_t m_nMaxAge;
  int64_t m_nAnswerHold;
  mutable std::mutex m_lock;
  std::map<std::string, Entry> m_mapEntries;
  std::map<std::string, int64_t> m_mapReserved;
  std::map<std::string, int64_t> m_mapDoomed;  // evicted, unlinked at this time (ns)
  int64_t m_nUsed = 0;
  int64_t m_nReserved = 0;
  int64_t m_nLastUse = 0;
};
