#pragma once
#include <cstdint>
#include <string>

// The target file of a download: opened for writing, created when missing,
// never emptied by opening. Every failure leaves the system's error number
// in LastError(). Closed when the object ends.
namespace platform {

class DownloadFile {
 public:
  DownloadFile() = default;
  ~DownloadFile() { Close(); }
  DownloadFile(const DownloadFile&) = delete;
  DownloadFile& operator=(const DownloadFile&) = delete;

  // Without `sharedWrite` no other handle may open the file meanwhile; with
  // it other writers may (several segments of one download write at once).
  // Only a regular file is accepted.
  bool Open(const std::string& path, bool sharedWrite);
  void Close();
  int64_t Size();              // -1 when it cannot be told
  bool Seek(int64_t offset);   // from the first byte
  bool Truncate();             // empties the file; the position goes to 0
  bool Write(const char* bytes, int count);  // all of them, or fails
  int LastError() const { return m_nError; }

 private:
  intptr_t m_handle = -1;
  int m_nError = 0;
};

}  // namespace platform
