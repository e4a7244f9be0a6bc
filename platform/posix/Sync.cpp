#include "platform/Sync.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace platform {
namespace {

// Each name is a file in a directory of the user below /tmp; a process holds
// the object while it has the file open and locked.
int OpenNamedFile(const std::string& name, const char* suffix) {
  std::string dir = "/tmp/velmora-named-" + std::to_string(getuid());
  mkdir(dir.c_str(), 0700);
  std::string file = name;
  for (char& c : file)
    if (c == '/') c = '_';
  return open((dir + "/" + file + suffix).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
}

bool LockFile(int fd, int operation) {
  while (flock(fd, operation) != 0)
    if (errno != EINTR) return false;
  return true;
}

}  // namespace

CNamedMutex::~CNamedMutex() { Close(); }

bool CNamedMutex::Create(const std::string& name, bool own, bool* existed) {
  Close();
  int fd = OpenNamedFile(name, ".mutex");
  if (fd < 0) return false;
  if (own) {
    bool taken = LockFile(fd, LOCK_EX | LOCK_NB);
    if (existed) *existed = !taken;
  }
  m_handle = fd;
  return true;
}

bool CNamedMutex::Lock() { return IsOpen() && LockFile((int)m_handle, LOCK_EX); }

void CNamedMutex::Unlock() {
  if (IsOpen()) flock((int)m_handle, LOCK_UN);
}

void CNamedMutex::Close() {
  if (!IsOpen()) return;
  close((int)m_handle);
  m_handle = INVALID_HANDLE;
}

CSharedMemory::~CSharedMemory() { Close(); }

// Every user holds a shared lock on the file; the one that can lock it
// exclusively is alone and starts the block from zero, so the block lives as
// long as some process has it open, as on Windows.
bool CSharedMemory::Open(const std::string& name, size_t size) {
  Close();
  int fd = OpenNamedFile(name, ".shared");
  if (fd < 0) return false;
  bool alone = LockFile(fd, LOCK_EX | LOCK_NB);
  bool sized = alone ? ftruncate(fd, 0) == 0 && ftruncate(fd, (off_t)size) == 0
                     : LockFile(fd, LOCK_SH);
  struct stat st;
  if (sized && !alone) sized = fstat(fd, &st) == 0 && (size_t)st.st_size >= size;
  void* data = sized ? mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0) : MAP_FAILED;
  if (data == MAP_FAILED || (alone && !LockFile(fd, LOCK_SH))) {
    if (data != MAP_FAILED) munmap(data, size);
    close(fd);
    return false;
  }
  m_handle = fd;
  m_pData = data;
  m_nSize = size;
  return true;
}

void CSharedMemory::Close() {
  if (m_pData) munmap(m_pData, m_nSize);
  if (m_handle != INVALID_HANDLE) close((int)m_handle);
  m_pData = nullptr;
  m_handle = INVALID_HANDLE;
  m_nSize = 0;
}

}  // namespace platform
