#include "platform/DownloadFile.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/posix/NativePath.h"

namespace platform {

bool DownloadFile::Open(const std::string& path, bool sharedWrite) {
  (void)sharedWrite;  // POSIX has no share modes; callers keep to their own ranges
  Close();
  // O_NONBLOCK: a FIFO at the path must fail, not wait for a reader.
  int fd = open(NativePath(path).c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0644);
  if (fd < 0) {
    m_nError = errno;
    return false;
  }
  struct stat info;
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    m_nError = EISDIR;
    close(fd);
    return false;
  }
  m_handle = fd;
  return true;
}

void DownloadFile::Close() {
  if (m_handle >= 0) close((int)m_handle);
  m_handle = -1;
}

int64_t DownloadFile::Size() {
  struct stat info;
  if (fstat((int)m_handle, &info) != 0) {
    m_nError = errno;
    return -1;
  }
  return info.st_size;
}

bool DownloadFile::Seek(int64_t offset) {
  if (lseek((int)m_handle, offset, SEEK_SET) < 0) {
    m_nError = errno;
    return false;
  }
  return true;
}

bool DownloadFile::Truncate() {
  if (ftruncate((int)m_handle, 0) != 0) {
    m_nError = errno;
    return false;
  }
  return Seek(0);
}

bool DownloadFile::Write(const char* bytes, int count) {
  while (count > 0) {
    ssize_t written = write((int)m_handle, bytes, count);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      m_nError = written < 0 ? errno : ENOSPC;
      return false;
    }
    bytes += written;
    count -= (int)written;
  }
  return true;
}

}  // namespace platform
