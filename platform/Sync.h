#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

// Named objects that every process of the program can open: a mutex and a
// block of shared memory. On Windows they are kernel objects of the session;
// elsewhere lock files and mapped files of the user stand in for them, which
// is enough for tests.
namespace platform {

// A named mutex. Like a Windows mutex handle, one object serves one thread.
class CNamedMutex {
 public:
  CNamedMutex() = default;
  ~CNamedMutex();
  CNamedMutex(const CNamedMutex&) = delete;
  CNamedMutex& operator=(const CNamedMutex&) = delete;

  // Creates the mutex, or opens it when some process holds it already. With
  // `own`, a mutex that this call created belongs to the caller at once, and
  // `existed` (when given) tells whether it was there before.
  bool Create(const std::string& name, bool own, bool* existed = nullptr);
  // Waits without a time-out; a mutex whose owner died is taken over.
  bool Lock();
  void Unlock();
  void Close();
  bool IsOpen() const { return m_handle != INVALID_HANDLE; }

 private:
  static constexpr intptr_t INVALID_HANDLE = -1;
  intptr_t m_handle = INVALID_HANDLE;
};

// A block of memory shared by every process that opens the same name; zero
// when the first of them opens it, kept while any of them has it open.
class CSharedMemory {
 public:
  CSharedMemory() = default;
  ~CSharedMemory();
  CSharedMemory(const CSharedMemory&) = delete;
  CSharedMemory& operator=(const CSharedMemory&) = delete;

  bool Open(const std::string& name, size_t size);
  void Close();
  void* Data() const { return m_pData; }

 private:
  static constexpr intptr_t INVALID_HANDLE = -1;
  intptr_t m_handle = INVALID_HANDLE;
  void* m_pData = nullptr;
  size_t m_nSize = 0;
};

}  // namespace platform
