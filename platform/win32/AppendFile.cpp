#include "platform/AppendFile.h"

#include <windows.h>

namespace platform {

// Opened for appending only: the system puts each write at the end of the
// file, so the entries of several processes do not overwrite each other.
bool AppendToFile(const std::string& path, const std::string& bytes) {
  HANDLE h = CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                         nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  BOOL ok = WriteFile(h, bytes.data(), (DWORD)bytes.size(), &written, nullptr);
  CloseHandle(h);
  return ok && written == bytes.size();
}

}  // namespace platform
