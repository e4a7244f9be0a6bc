#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

// Files with the semantics the stores need on Windows. Paths are text in the
// system code page with "\" between their parts (the POSIX build maps them
// onto its own file names).
namespace platform {

enum class FileMode {
  Read,         // existing file, read only, no sharing
  CreateAlways, // created or emptied, read/write, no sharing
  OpenAlways,   // opened or created, never emptied, read/write, no sharing
  SharedWrite,  // existing file, read/write, others may read and write too
  SharedRead,   // existing file, read only, others may read too (a running
                // program, a data file that another process loads at once)
};

// How an open ended. A held file is one that another open excludes for now
// (a scanner right after our write, another assistant's save): it may be
// had in a moment. Refused covers what waiting does not mend: a directory,
// access denied, an error of the system.
enum class OpenOutcome { Opened, Missing, Held, Refused };

// One open file; closed when the object ends. Not copyable.
class File {
 public:
  File() = default;
  ~File() { Close(); }
  File(File&& other) noexcept : m_handle(other.m_handle) { other.m_handle = -1; }
  File& operator=(File&& other) noexcept {
    if (this != &other) {
      Close();
      m_handle = other.m_handle;
      other.m_handle = -1;
    }
    return *this;
  }
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  bool Open(const std::string& path, FileMode mode) {
    return TryOpen(path, mode) == OpenOutcome::Opened;
  }
  OpenOutcome TryOpen(const std::string& path, FileMode mode);
  bool IsOpen() const;
  void Close();

  // Reads up to `count` bytes at the current position; `got` is what arrived
  // (0 at the end of the file). False on an error of the system.
  bool Read(void* buffer, size_t count, size_t& got);
  // Writes all `count` bytes at the current position, or fails.
  bool Write(const void* bytes, size_t count);
  // Writes all `count` bytes at `offset`, in one call of the system where
  // that is the cheaper way; the position afterwards is unspecified.
  bool WriteAt(int64_t offset, const void* bytes, size_t count);
  // Puts what was written on the disk before returning.
  bool Flush();
  bool Seek(int64_t offset);  // from the first byte
  int64_t Size() const;       // -1 when it cannot be told
  bool SetSize(int64_t size); // extends or cuts; the position is kept

 private:
  intptr_t m_handle = -1;
};

bool FileExists(const std::string& path);   // a file, not a directory
bool IsDirectory(const std::string& path);
bool CreateDir(const std::string& path);    // one level; false when it exists
bool DeleteFileAt(const std::string& path);
// Moves a file to a name that must not exist yet.
bool RenameFile(const std::string& from, const std::string& to);
int64_t FileSizeAt(const std::string& path);  // -1 when missing
// Copies a file over `to`, replacing a file of that name.
bool CopyFileReplacing(const std::string& from, const std::string& to);

// A file's three time stamps in the system's units (100 ns); all 0 when unknown.
struct FileTimes {
  uint64_t created = 0;
  uint64_t accessed = 0;
  uint64_t written = 0;
};
// Reads them from the file opened for reading with no sharing; false (times
// left as they were) when it cannot be opened, e.g. while another holds it.
bool ReadFileTimes(const std::string& path, FileTimes& times);
// Gives `replacement` the name `path` in one step of the file system, an
// existing file at `path` replaced; the move is on the disk on return.
bool MoveFileReplacing(const std::string& replacement, const std::string& path);
// The same, and the file that was at `path` (if any) is kept as `backup`
// (a file there before is dropped). Where the system allows, `path` names a
// complete file at every instant; elsewhere it may be missing for a moment
// while `backup` already holds the previous one.
bool ReplaceFileKeepingBackup(const std::string& replacement, const std::string& path,
                              const std::string& backup);

}  // namespace platform
