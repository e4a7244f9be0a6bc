#include "cdn/CacheStore.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "cdn/FileId.h"

namespace {

bool MakeDirectory(const std::string& path, std::string& error) {
  if (mkdir(path.c_str(), 0755) == 0 || errno == EEXIST) {
    struct stat info{};
    if (stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) return true;
  }
  error = "cannot create directory " + path + ": " + std::strerror(errno);
  return false;
}

int64_t NowNanoseconds() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  return (int64_t)now.tv_sec * 1000000000 + now.tv_nsec;
}

// Records a use on disk as the access time; the modification time (and so
// nginx's Last-Modified and ETag) stays as it is.
void StampUse(const std::string& path, int64_t when) {
  timespec times[2] = {{(time_t)(when / 1000000000), (long)(when % 1000000000)}, {0, UTIME_OMIT}};
  utimensat(AT_FDCWD, path.c_str(), times, 0);
}

// The data reaches the disk before the rename makes it visible.
bool SyncFile(const std::string& path) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = fsync(fd) == 0;
  close(fd);
  return ok;
}

}  // namespace

bool CCacheStore::Open(std::string& error) {
  if (!MakeDirectory(m_strDir, error) || !ClaimDirectory(error) ||
      !MakeDirectory(m_strDir + "/files", error) || !MakeDirectory(m_strDir + "/tmp", error)) {
    return false;
  }
  std::lock_guard<std::mutex> guard(m_lock);
  ClearPartFiles();
  ScanFiles();
  EvictFor(0);
  return true;
}

bool CCacheStore::ClaimDirectory(std::string& error) const {
  const std::string marker = m_strDir + "/" + MARKER_NAME;
  struct stat info{};
  if (lstat(marker.c_str(), &info) == 0 && S_ISREG(info.st_mode)) return true;
  DIR* listing = opendir(m_strDir.c_str());
  if (!listing) {
    error = "cannot read directory " + m_strDir + ": " + std::strerror(errno);
    return false;
  }
  bool empty = true;
  while (dirent* item = readdir(listing)) {
    std::string name = item->d_name;
    if (name != "." && name != "..") empty = false;
  }
  closedir(listing);
  // Start-up deletes and evicts below this directory: only in our own.
  if (!empty) {
    error = "cache_dir " + m_strDir + " is not empty and has no " + MARKER_NAME +
            " file, so it is not this cache's directory; nothing in it was touched (choose an "
            "empty directory, or create " + marker + " if it is the cache)";
    return false;
  }
  int fd = open(marker.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  const std::string text = "This directory is velmora-cdn's cache; it deletes and evicts here.\n";
  bool ok = fd >= 0 && write(fd, text.data(), text.size()) == (ssize_t)text.size();
  if (fd >= 0) close(fd);
  if (!ok) error = "cannot create " + marker + ": " + std::strerror(errno);
  return ok;
}

void CCacheStore::ClearPartFiles() const {
  std::string dir = m_strDir + "/tmp";
  DIR* listing = opendir(dir.c_str());
  if (!listing) return;
  while (dirent* item = readdir(listing)) {
    std::string name = item->d_name;
    if (name != "." && name != "..") unlink((dir + "/" + name).c_str());
  }
  closedir(listing);
}

void CCacheStore::ScanFiles() {
  m_mapEntries.clear();
  m_nUsed = 0;
  std::string dir = m_strDir + "/files";
  DIR* listing = opendir(dir.c_str());
  if (!listing) return;
  while (dirent* item = readdir(listing)) {
    std::string fid = item->d_name;
    struct stat info{};
    // Names the cache would never have written are not its files.
    if (!IsSafeFileId(fid) || lstat((dir + "/" + fid).c_str(), &info) != 0 ||
        !S_ISREG(info.st_mode)) {
      continue;
    }
    int64_t used = (int64_t)info.st_atim.tv_sec * 1000000000 + info.st_atim.tv_nsec;
    m_mapEntries[fid] = Entry{(int64_t)info.st_size, used, 0};
    m_nUsed += info.st_size;
    if (used > m_nLastUse) m_nLastUse = used;
  }
  closedir(listing);
}

int64_t CCacheStore::NextUseTime() {
  int64_t now = NowNanoseconds();
  m_nLastUse = now > m_nLastUse ? now : m_nLastUse + 1;
  return m_nLastUse;
}

bool CCacheStore::Lookup(const std::string& fid, int64_t& size) {
  std::lock_guard<std::mutex> guard(m_lock);
  auto found = m_mapEntries.find(fid);
  if (found == m_mapEntries.end()) return false;
  struct stat info{};
  // Someone removed or replaced the file behind our back: forget it.
  if (stat(FilePath(fid).c_str(), &info) != 0 || info.st_size != found->second.size) {
    m_nUsed -= found->second.size;
    m_mapEntries.erase(found);
    return false;
  }
  // Kept (and still counted) until the fresh copy replaces it in Admit.
  if (m_nMaxAge > 0 && time(nullptr) - info.st_mtime > m_nMaxAge) return false;
  found->second.lastUse = found->second.answered = NextUseTime();
  StampUse(FilePath(fid), found->second.lastUse);
  size = found->second.size;
  return true;
}

bool CCacheStore::EvictFor(int64_t incoming) {
  const int64_t now = NowNanoseconds();
  UnlinkDueLocked(now);
  while (m_nUsed + m_nReserved + incoming > m_nCap) {
    auto oldest = m_mapEntries.begin();
    if (oldest == m_mapEntries.end()) return false;
    for (auto it = m_mapEntries.begin(); it != m_mapEntries.end(); ++it) {
      if (it->second.lastUse < oldest->second.lastUse) oldest = it;
    }
    // A student told to download it gets it: no longer offered or counted,
    // it stays on disk until the hold after its answer has passed. A
    // student still downloading it after that keeps reading the unlinked file.
    const int64_t due = oldest->second.answered + m_nAnswerHold;
    if (oldest->second.answered > 0 && due > now) {
      m_mapDoomed[oldest->first] = due;
    } else {
      unlink(FilePath(oldest->first).c_str());
    }
    std::fprintf(stderr, "velmora-cdn: evicted %s (%lld bytes)\n", oldest->first.c_str(),
                 (long long)oldest->second.size);
    m_nUsed -= oldest->second.size;
    m_mapEntries.erase(oldest);
  }
  return true;
}

void CCacheStore::UnlinkDueLocked(int64_t now) {
  for (auto it = m_mapDoomed.begin(); it != m_mapDoomed.end();) {
    if (it->second > now) {
      ++it;
      continue;
    }
    unlink(FilePath(it->first).c_str());
    it = m_mapDoomed.erase(it);
  }
}

void CCacheStore::UnlinkEvicted() {
  std::lock_guard<std::mutex> guard(m_lock);
  UnlinkDueLocked(NowNanoseconds());
}

bool CCacheStore::Reserve(const std::string& fid, int64_t size) {
  std::lock_guard<std::mutex> guard(m_lock);
  if (size <= 0 || size > m_nCap || m_mapReserved.count(fid) || !EvictFor(size)) return false;
  m_mapReserved[fid] = size;
  m_nReserved += size;
  return true;
}

void CCacheStore::Release(const std::string& fid) {
  std::lock_guard<std::mutex> guard(m_lock);
  auto reserved = m_mapReserved.find(fid);
  if (reserved == m_mapReserved.end()) return;
  m_nReserved -= reserved->second;
  m_mapReserved.erase(reserved);
}

bool CCacheStore::Admit(const std::string& fid, int64_t size) {
  std::string part = PartPath(fid);
  struct stat info{};
  if (size <= 0 || size > m_nCap || stat(part.c_str(), &info) != 0 || info.st_size != size ||
      !SyncFile(part)) {
    unlink(part.c_str());
    return false;
  }
  std::lock_guard<std::mutex> guard(m_lock);
  auto reserved = m_mapReserved.find(fid);
  if (reserved != m_mapReserved.end()) {
    m_nReserved -= reserved->second;
    m_mapReserved.erase(reserved);
  }
  // The copy being replaced makes room for its successor.
  auto previous = m_mapEntries.find(fid);
  if (previous != m_mapEntries.end()) m_nUsed -= previous->second.size;
  const Entry replaced = previous != m_mapEntries.end() ? previous->second : Entry{0, 0, 0};
  if (previous != m_mapEntries.end()) m_mapEntries.erase(previous);
  if (!EvictFor(size) || rename(part.c_str(), FilePath(fid).c_str()) != 0) {
    if (replaced.size > 0) {
      m_mapEntries[fid] = replaced;
      m_nUsed += replaced.size;
    }
    unlink(part.c_str());
    return false;
  }
  m_mapDoomed.erase(fid);  // the name is the fresh copy's now
  int64_t now = NextUseTime();
  StampUse(FilePath(fid), now);
  m_mapEntries[fid] = Entry{size, now, 0};
  m_nUsed += size;
  return true;
}

int64_t CCacheStore::UsedBytes() const {
  std::lock_guard<std::mutex> guard(m_lock);
  return m_nUsed;
}

int64_t CCacheStore::ReservedBytes() const {
  std::lock_guard<std::mutex> guard(m_lock);
  return m_nReserved;
}

size_t CCacheStore::Count() const {
  std::lock_guard<std::mutex> guard(m_lock);
  return m_mapEntries.size();
}
