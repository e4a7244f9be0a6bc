#include "platform/DownloadFile.h"

#include <windows.h>

namespace platform {
namespace {
HANDLE ToHandle(intptr_t handle) { return (HANDLE)handle; }
}  // namespace

bool DownloadFile::Open(const std::string& path, bool sharedWrite) {
  Close();
  DWORD share = sharedWrite ? FILE_SHARE_READ | FILE_SHARE_WRITE : 0;
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, share, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    m_nError = (int)GetLastError();
    return false;
  }
  if (GetFileType(file) != FILE_TYPE_DISK) {
    m_nError = ERROR_INVALID_NAME;
    CloseHandle(file);
    return false;
  }
  m_handle = (intptr_t)file;
  return true;
}

void DownloadFile::Close() {
  if (m_handle != -1) CloseHandle(ToHandle(m_handle));
  m_handle = -1;
}

int64_t DownloadFile::Size() {
  LARGE_INTEGER size;
  if (!GetFileSizeEx(ToHandle(m_handle), &size)) {
    m_nError = (int)GetLastError();
    return -1;
  }
  return size.QuadPart;
}

bool DownloadFile::Seek(int64_t offset) {
  LARGE_INTEGER distance;
  distance.QuadPart = offset;
  if (!SetFilePointerEx(ToHandle(m_handle), distance, nullptr, FILE_BEGIN)) {
    m_nError = (int)GetLastError();
    return false;
  }
  return true;
}

bool DownloadFile::Truncate() {
  if (!Seek(0)) return false;
  if (!SetEndOfFile(ToHandle(m_handle))) {
    m_nError = (int)GetLastError();
    return false;
  }
  return true;
}

bool DownloadFile::Write(const char* bytes, int count) {
  while (count > 0) {
    DWORD written = 0;
    if (!WriteFile(ToHandle(m_handle), bytes, (DWORD)count, &written, nullptr) || written == 0) {
      m_nError = (int)GetLastError();
      return false;
    }
    bytes += written;
    count -= (int)written;
  }
  return true;
}

}  // namespace platform
