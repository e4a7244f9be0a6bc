#pragma once
#include <cstdint>
#include <map>
#include <mutex>
#include <string>

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
// Thread-safe.
class CCacheStore {
 public:
  CCacheStore(std::string dir, int64_t cap, int64_t maxAgeSeconds = 0)
      : m_strDir(std::move(dir)), m_nCap(cap), m_nMaxAge(maxAgeSeconds) {}

  // Creates the two directories, discards what earlier runs left in tmp/,
  // indexes files/ and evicts down to the cap (it may have been lowered).
  bool Open(std::string& error);

  // True with the size when the file is held whole and not older than the
  // maximum age (0: no limit); counts as a use.
  bool Lookup(const std::string& fid, int64_t& size);
  // Moves a finished fetch into place. False (and the part file removed)
  // unless it holds exactly `size` bytes and `size` fits the cap at all.
  bool Admit(const std::string& fid, int64_t size);

  std::string PartPath(const std::string& fid) const { return m_strDir + "/tmp/" + fid + ".part"; }
  std::string FilePath(const std::string& fid) const { return m_strDir + "/files/" + fid; }
  int64_t Cap() const { return m_nCap; }
  int64_t UsedBytes() const;
  size_t Count() const;

 private:
  struct Entry {
    int64_t size;
    int64_t lastUse;  // nanoseconds since the epoch, strictly increasing per use
  };
  void ScanFiles();
  void ClearPartFiles() const;
  int64_t NextUseTime();
  // Removes least recently used files until `incoming` more bytes fit.
  void EvictFor(int64_t incoming);

  std::string m_strDir;
  int64_t m_nCap;
  int64_t m_nMaxAge;
  mutable std::mutex m_lock;
  std::map<std::string, Entry> m_mapEntries;
  int64_t m_nUsed = 0;
  int64_t m_nLastUse = 0;
};
