#include "platform/Sync.h"

#include <windows.h>

namespace platform {

CNamedMutex::~CNamedMutex() { Close(); }

bool CNamedMutex::Create(const std::string& name, bool own, bool* existed) {
  Close();
  HANDLE h = CreateMutexA(nullptr, own ? TRUE : FALSE, name.c_str());
  if (!h) return false;
  if (existed) *existed = GetLastError() == ERROR_ALREADY_EXISTS;
  m_handle = (intptr_t)h;
  return true;
}

bool CNamedMutex::Lock() {
  if (!IsOpen()) return false;
  DWORD r = WaitForSingleObject((HANDLE)m_handle, INFINITE);
  return r == WAIT_OBJECT_0 || r == WAIT_ABANDONED;
}

void CNamedMutex::Unlock() {
  if (IsOpen()) ReleaseMutex((HANDLE)m_handle);
}

void CNamedMutex::Close() {
  if (!IsOpen()) return;
  CloseHandle((HANDLE)m_handle);
  m_handle = INVALID_HANDLE;
}

CSharedMemory::~CSharedMemory() { Close(); }

// A mapping of the paging file: the system hands it out zeroed.
bool CSharedMemory::Open(const std::string& name, size_t size) {
  Close();
  HANDLE h = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, (DWORD)size,
                                name.c_str());
  if (!h) return false;
  void* view = MapViewOfFile(h, FILE_MAP_ALL_ACCESS, 0, 0, size);
  if (!view) {
    CloseHandle(h);
    return false;
  }
  m_handle = (intptr_t)h;
  m_pData = view;
  m_nSize = size;
  return true;
}

void CSharedMemory::Close() {
  if (m_pData) UnmapViewOfFile(m_pData);
  if (m_handle != INVALID_HANDLE) CloseHandle((HANDLE)m_handle);
  m_pData = nullptr;
  m_handle = INVALID_HANDLE;
  m_nSize = 0;
}

}  // namespace platform
