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
  if (!MakeDirectory(m_strDir, error) || !MakeDirectory(m_strDir + "/files", error) ||
      !MakeDirectory(m_strDir + "/tmp", error)) {
    return false;
  }
  std::lock_guard<std::mutex> guard(m_lock);
  ClearPartFiles();
  ScanFiles();
  EvictFor(0);
  return true;
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
    m_mapEntries[fid] = Entry{(int64_t)info.st_size, used};
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
  found->second.lastUse = NextUseTime();
  StampUse(FilePath(fid), found->second.lastUse);
  size = found->second.size;
  return true;
}

void CCacheStore::EvictFor(int64_t incoming) {
  while (!m_mapEntries.empty() && m_nUsed + incoming > m_nCap) {
    auto oldest = m_mapEntries.begin();
    for (auto it = m_mapEntries.begin(); it != m_mapEntries.end(); ++it) {
      if (it->second.lastUse < oldest->second.lastUse) oldest = it;
    }
    // A student still downloading it keeps reading the unlinked file.
    unlink(FilePath(oldest->first).c_str());
    std::fprintf(stderr, "velmora-cdn: evicted %s (%lld bytes)\n", oldest->first.c_str(),
                 (long long)oldest->second.size);
    m_nUsed -= oldest->second.size;
    m_mapEntries.erase(oldest);
  }
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
  auto previous = m_mapEntries.find(fid);
  if (previous != m_mapEntries.end()) {
    m_nUsed -= previous->second.size;
    m_mapEntries.erase(previous);
  }
  EvictFor(size);
  if (rename(part.c_str(), FilePath(fid).c_str()) != 0) {
    unlink(part.c_str());
    return false;
  }
  int64_t now = NextUseTime();
  StampUse(FilePath(fid), now);
  m_mapEntries[fid] = Entry{size, now};
  m_nUsed += size;
  return true;
}

int64_t CCacheStore::UsedBytes() const {
  std::lock_guard<std::mutex> guard(m_lock);
  return m_nUsed;
}

size_t CCacheStore::Count() const {
  std::lock_guard<std::mutex> guard(m_lock);
  return m_mapEntries.size();
}
