#pragma once
#include <cstdint>
#include <list>
#include <optional>
#include <string>

#include "store/HeldFile.h"

// One downloaded platform file: its file id and the hash code of the version
// that lies in the resource directory.
struct FileListEntry {
  std::string m_strFileId;
  std::string m_strHash;
};

// Where the main window stands and which directory holds downloaded
// resources (VelmoraURL.dat in the data directory, for the whole machine),
// and per account which files were downloaded with which hash code
// (filelist.dat in the account directory).
class CFileListStore {
 public:
  // Window at (primary screen width - 300, 40), no resource directory, no list.
  CFileListStore();

  // Where the files lie; set before loading or saving (without a data
  // directory every load and save fails). The account is the
  // logged-in user's id, which names its directory ("%08d").
  void SetDataDir(const std::string& dataDir) { m_strDataDir = dataDir; }
  void SetUserId(int32_t userId) { m_nUserId = userId; }
  std::string StatePath() const;  // data directory\VelmoraURL.dat
  std::string ListPath() const;   // data directory\<account>\filelist.dat

  // A file that stayed held through its load is not saved over until a
  // later load of it gets through (the save returns false).
  bool LoadState();
  bool SaveState() const;  // without backup
  bool LoadList();         // replaces the list with the account's
  bool SaveList() const;   // with the "_OLD" backup

  // First entry whose file id equals `fileId` byte for byte; null when none.
  FileListEntry* FindHash(const std::string& fileId);
  const FileListEntry* FindHash(const std::string& fileId) const;
  // Records the hash of a file id, appending an entry for a new id. Not saved.
  void SetHash(const std::string& fileId, const std::string& hash);

  // The file id of a file name: the text before its first "."; none when the
  // name has no "." or begins with one.
  static std::optional<std::string> FileIdOfName(const std::string& name);
  // The same for a full path, whose name follows its last "\"; none for a
  // path without "\" or whose only "\" is its first character.
  static std::optional<std::string> FileIdOfPath(const std::string& path);
  // Whether a file of the resource directory (by name) is one of the list's.
  bool IsListedName(const std::string& name) const;

  int32_t m_nWindowLeft;
  int32_t m_nWindowTop;
  std::string m_strResourceDir;
  std::string m_strReserved;
  std::list<FileListEntry> m_entries;

 private:
  std::string m_strDataDir;
  int32_t m_nUserId = 0;
  CHeldFiles m_heldFiles;
};
