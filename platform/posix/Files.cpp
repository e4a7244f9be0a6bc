#include "platform/Files.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/posix/NativePath.h"

namespace platform {
namespace {

int OpenFlags(FileMode mode) {
  switch (mode) {
    case FileMode::Read:
    case FileMode::SharedRead: return O_RDONLY;
    case FileMode::CreateAlways: return O_RDWR | O_CREAT | O_TRUNC;
    case FileMode::OpenAlways: return O_RDWR | O_CREAT;
    default: return O_RDWR;
  }
}

bool StatPath(const std::string& path, struct stat& st) {
  return stat(NativePath(path).c_str(), &st) == 0;
}

}  // namespace

// Advisory locks stand in for the share modes: exclusive opens refuse a file
// that is open elsewhere, as Windows does, and such a refusal is the held
// outcome. The lock is taken before an emptying open truncates, so a refused
// open changes nothing.
OpenOutcome File::TryOpen(const std::string& path, FileMode mode) {
  Close();
  const std::string native = NativePath(path);
  struct stat st;
  if (stat(native.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return OpenOutcome::Refused;
  int fd = open(native.c_str(), OpenFlags(mode) & ~O_TRUNC, 0644);
  if (fd < 0)
    return errno == ENOENT || errno == ENOTDIR ? OpenOutcome::Missing : OpenOutcome::Refused;
  int lock = mode == FileMode::SharedWrite || mode == FileMode::SharedRead ? LOCK_SH : LOCK_EX;
  if (flock(fd, lock | LOCK_NB) != 0) {
    const bool held = errno == EWOULDBLOCK;
    close(fd);
    return held ? OpenOutcome::Held : OpenOutcome::Refused;
  }
  if ((OpenFlags(mode) & O_TRUNC) && ftruncate(fd, 0) != 0) {
    close(fd);
    return OpenOutcome::Refused;
  }
  m_handle = fd;
  return OpenOutcome::Opened;
}

bool File::IsOpen() const { return m_handle >= 0; }

void File::Close() {
  if (m_handle >= 0) close((int)m_handle);
  m_handle = -1;
}

bool File::Read(void* buffer, size_t count, size_t& got) {
  got = 0;
  if (m_handle < 0) return false;
  ssize_t n;
  do n = read((int)m_handle, buffer, count);
  while (n < 0 && errno == EINTR);
  if (n < 0) return false;
  got = (size_t)n;
  return true;
}

bool File::Write(const void* bytes, size_t count) {
  if (m_handle < 0) return false;
  const char* p = static_cast<const char*>(bytes);
  while (count > 0) {
    ssize_t n = write((int)m_handle, p, count);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    count -= (size_t)n;
  }
  return true;
}

bool File::WriteAt(int64_t offset, const void* bytes, size_t count) {
  if (m_handle < 0) return false;
  const char* p = static_cast<const char*>(bytes);
  while (count > 0) {
    ssize_t n = pwrite((int)m_handle, p, count, (off_t)offset);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    offset += n;
    count -= (size_t)n;
  }
  return true;
}

bool File::Flush() { return m_handle >= 0 && fsync((int)m_handle) == 0; }

bool File::Seek(int64_t offset) {
  return m_handle >= 0 && lseek((int)m_handle, (off_t)offset, SEEK_SET) == (off_t)offset;
}

int64_t File::Size() const {
  struct stat st;
  if (m_handle < 0 || fstat((int)m_handle, &st) != 0) return -1;
  return (int64_t)st.st_size;
}

bool File::SetSize(int64_t size) {
  return m_handle >= 0 && size >= 0 && ftruncate((int)m_handle, (off_t)size) == 0;
}

bool FileExists(const std::string& path) {
  struct stat st;
  return StatPath(path, st) && !S_ISDIR(st.st_mode);
}

bool IsDirectory(const std::string& path) {
  struct stat st;
  return StatPath(path, st) && S_ISDIR(st.st_mode);
}

bool CreateDir(const std::string& path) { return mkdir(NativePath(path).c_str(), 0755) == 0; }

bool DeleteFileAt(const std::string& path) {
  return !IsDirectory(path) && unlink(NativePath(path).c_str()) == 0;
}

// Windows moves never replace an existing name.
bool RenameFile(const std::string& from, const std::string& to) {
  const std::string target = NativePath(to);
  struct stat st;
  if (lstat(target.c_str(), &st) == 0) return false;
  return rename(NativePath(from).c_str(), target.c_str()) == 0;
}

bool CopyFileReplacing(const std::string& from, const std::string& to) {
  File source, target;
  if (!source.Open(from, FileMode::Read) || !target.Open(to, FileMode::CreateAlways)) return false;
  char block[65536];
  size_t got = 0;
  while (source.Read(block, sizeof block, got) && got > 0)
    if (!target.Write(block, got)) return false;
  return got == 0;
}

namespace {

// A rename is only durable once the directory that holds the names is.
void SyncDirectoryOf(const std::string& nativePath) {
  size_t slash = nativePath.rfind('/');
  std::string dir = slash == std::string::npos ? "." : nativePath.substr(0, slash + 1);
  int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY);
  if (fd < 0) return;
  fsync(fd);
  close(fd);
}

}  // namespace

bool MoveFileReplacing(const std::string& replacement, const std::string& path) {
  const std::string target = NativePath(path);
  if (IsDirectory(path) || rename(NativePath(replacement).c_str(), target.c_str()) != 0)
    return false;
  SyncDirectoryOf(target);
  return true;
}

// The backup is a second name of the current file, so the name itself is
// replaced by one rename and never missing.
bool ReplaceFileKeepingBackup(const std::string& replacement, const std::string& path,
                              const std::string& backup) {
  const std::string current = NativePath(path), kept = NativePath(backup);
  if (FileExists(path)) {
    unlink(kept.c_str());
    if (link(current.c_str(), kept.c_str()) != 0 && rename(current.c_str(), kept.c_str()) != 0)
      return false;
  }
  return MoveFileReplacing(replacement, path);
}

int64_t FileSizeAt(const std::string& path) {
  struct stat st;
  if (!StatPath(path, st) || S_ISDIR(st.st_mode)) return -1;
  return (int64_t)st.st_size;
}

namespace {

uint64_t Ticks(const struct timespec& t) {
  return (uint64_t)t.tv_sec * 10000000u + (uint64_t)t.tv_nsec / 100u;
}

}  // namespace

// The status-change time stands in for the creation time, which POSIX lacks.
bool ReadFileTimes(const std::string& path, FileTimes& times) {
  int fd = open(NativePath(path).c_str(), O_RDONLY);
  if (fd < 0) return false;
  struct stat st;
  bool ok = flock(fd, LOCK_EX | LOCK_NB) == 0 && fstat(fd, &st) == 0 && !S_ISDIR(st.st_mode);
  close(fd);
  if (!ok) return false;
  times.created = Ticks(st.st_ctim);
  times.accessed = Ticks(st.st_atim);
  times.written = Ticks(st.st_mtim);
  return true;
}

}  // namespace platform
