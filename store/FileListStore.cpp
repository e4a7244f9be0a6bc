#include "store/FileListStore.h"

#include <cstdio>

#include "net/MbcsText.h"
#include "platform/Screen.h"
#include "store/RecordStream.h"

namespace {

const char kStateFileName[] = "VelmoraURL.dat";
const char kListFileName[] = "filelist.dat";
const int32_t kDefaultTop = 40;
const int32_t kWindowRoomAtRight = 300;

std::string AccountDirName(int32_t userId) {
  char name[16];
  snprintf(name, sizeof name, "%08d", (int)userId);
  return name;
}

// Position just after the last single-byte "\", skipping double-byte
// characters whose trail byte has the same value; npos when there is none.
size_t LastBackslash(const std::string& path) {
  size_t last = std::string::npos;
  for (size_t i = 0; i < path.size(); ++i) {
    if (IsGbkPairAt(path, i)) {
      ++i;
      continue;
    }
    if (path[i] == '\\') last = i;
  }
  return last;
}

}  // namespace

CFileListStore::CFileListStore()
    : m_nWindowLeft(platform::PrimaryScreenWidth() - kWindowRoomAtRight),
      m_nWindowTop(kDefaultTop) {}

// Without a data directory the paths would name the root of the current
// drive; loads and saves then do nothing and fail.
std::string CFileListStore::StatePath() const { return m_strDataDir + "\\" + kStateFileName; }

std::string CFileListStore::ListPath() const {
  return m_strDataDir + "\\" + AccountDirName(m_nUserId) + "\\" + kListFileName;
}

// The window position is one 8-byte block: two little-endian 32-bit numbers.
bool CFileListStore::LoadState() {
  if (m_strDataDir.empty()) return false;
  const std::string path = StatePath();
  const RecordLoad loaded = LoadRecordsWithOutcome(path, [this](CRecordStream& in) {
    unsigned char block[8];
    if (in.ReadBytes(block, sizeof block) != sizeof block) return false;
    auto number = [&block](int at) {
      return (int32_t)(block[at] | block[at + 1] << 8 | block[at + 2] << 16 |
                       (uint32_t)block[at + 3] << 24);
    };
    m_nWindowLeft = number(0);
    m_nWindowTop = number(4);
    return in.ReadString(m_strResourceDir) && in.ReadString(m_strReserved);
  });
  m_heldFiles.NoteLoad(path, loaded == RecordLoad::Held);
  return loaded == RecordLoad::Whole;
}

bool CFileListStore::SaveState() const {
  if (m_strDataDir.empty() || !m_heldFiles.MaySaveOver(StatePath())) return false;
  return SaveRecords(StatePath(), [this](CRecordStream& out) {
    unsigned char block[8];
    for (int i = 0; i < 4; ++i) {
      block[i] = (unsigned char)((uint32_t)m_nWindowLeft >> (8 * i));
      block[4 + i] = (unsigned char)((uint32_t)m_nWindowTop >> (8 * i));
    }
    return out.WriteBytes(block, sizeof block) && out.WriteString(m_strResourceDir) &&
           out.WriteString(std::string());
  });
}

// A count of 0 or less means an empty list. Entries are added only when read
// whole; the count is never used to reserve memory, so a damaged count ends
// at the end of the data.
bool CFileListStore::LoadList() {
  m_entries.clear();
  if (m_strDataDir.empty()) return false;
  const std::string path = ListPath();
  const RecordLoad loaded = LoadRecordsWithOutcome(path, [this](CRecordStream& in) {
    m_entries.clear();
    int32_t count = 0;
    if (!in.ReadInt32(count)) return false;
    for (int32_t i = 0; i < count; ++i) {
      FileListEntry entry;
      if (!in.ReadString(entry.m_strFileId) || !in.ReadString(entry.m_strHash)) return false;
      m_entries.push_back(std::move(entry));
    }
    return true;
  });
  m_heldFiles.NoteLoad(path, loaded == RecordLoad::Held);
  return loaded == RecordLoad::Whole;
}

bool CFileListStore::SaveList() const {
  if (m_strDataDir.empty() || !m_heldFiles.MaySaveOver(ListPath())) return false;
  return SaveWithBackup(ListPath(), [this](CRecordStream& out) {
    if (!out.WriteInt32((int32_t)m_entries.size())) return false;
    for (const FileListEntry& entry : m_entries)
      if (!out.WriteString(entry.m_strFileId) || !out.WriteString(entry.m_strHash)) return false;
    return true;
  });
}

const FileListEntry* CFileListStore::FindHash(const std::string& fileId) const {
  for (const FileListEntry& entry : m_entries)
    if (entry.m_strFileId == fileId) return &entry;
  return nullptr;
}

FileListEntry* CFileListStore::FindHash(const std::string& fileId) {
  return const_cast<FileListEntry*>(static_cast<const CFileListStore*>(this)->FindHash(fileId));
}

void CFileListStore::SetHash(const std::string& fileId, const std::string& hash) {
  FileListEntry* entry = FindHash(fileId);
  if (!entry) {
    m_entries.push_back(FileListEntry{fileId, std::string()});
    entry = &m_entries.back();
  }
  entry->m_strHash = hash;
}

std::optional<std::string> CFileListStore::FileIdOfName(const std::string& name) {
  size_t dot = name.find('.');
  if (dot == std::string::npos || dot == 0) return std::nullopt;
  return name.substr(0, dot);
}

std::optional<std::string> CFileListStore::FileIdOfPath(const std::string& path) {
  size_t slash = LastBackslash(path);
  if (slash == std::string::npos || slash == 0) return std::nullopt;
  return FileIdOfName(path.substr(slash + 1));
}

bool CFileListStore::IsListedName(const std::string& name) const {
  std::optional<std::string> fileId = FileIdOfName(name);
  return fileId && FindHash(*fileId) != nullptr;
}
