#include "experiments/ExamErrStore.h"

#include <ctime>
#include <new>
#include <tuple>

#include "experiments/ExamFile.h"
#include "net/Codecs.h"
#include "net/PlatformApi.h"
#include "platform/Files.h"
#include "store/HeldFile.h"
#include "store/RecordStream.h"

namespace {

// No failure list comes near this; a larger file is damaged or planted.
constexpr int64_t MAX_FILE_SIZE = 64 * 1024 * 1024;

// A record is kept only when read whole; data larger than any exam file the
// assistant submits marks a damaged or planted file, and the read stops.
bool ReadRecords(CRecordStream& in, std::list<ExamErrRecord>& records) {
  int32_t count = 0;
  if (!in.ReadInt32(count)) return false;
  for (int32_t i = 0; i < count; ++i) {
    ExamErrRecord record;
    if (!record.Load(in) || record.m_strData.size() > EXAM_TEXT_MAX) return false;
    records.push_back(std::move(record));
  }
  return true;
}

// One file into `records`, emptied first so that what an earlier read left
// there is never doubled.
ExamErrRead ReadOneFile(const std::string& path, std::list<ExamErrRecord>& records) {
  records.clear();
  platform::File file;
  const HeldFileOpen opened = OpenWaitingForHolder(path, file);
  if (opened == HeldFileOpen::Held) return ExamErrRead::Held;
  if (opened == HeldFileOpen::Missing) return ExamErrRead::Incomplete;
  const int64_t size = file.Size();
  if (size < 0 || size > MAX_FILE_SIZE) return ExamErrRead::Incomplete;
  try {
    CRecordStream in(file, CRecordStream::LOAD);
    return ReadRecords(in, records) && !in.Failed() ? ExamErrRead::Whole : ExamErrRead::Incomplete;
  } catch (const std::bad_alloc&) {
    return ExamErrRead::Incomplete;
  }
}

// One name per file; a kernel object's name holds no "\" and is short.
std::string MutexName(const std::string& path) {
  return "VelmoraUrl examerr " + Md5Hex(path);
}

}  // namespace

ExamErrRecord::ExamErrRecord() : m_tFailed((int32_t)std::time(nullptr)) {}

// The failure time comes before the operation id in the file.
bool ExamErrRecord::Store(CRecordStream& out) const {
  return out.WriteString(m_strServer) && out.WriteInt32(m_nPort) && out.WriteInt32(m_nUserId) &&
         out.WriteInt32(m_nCourseId) && out.WriteInt32(m_nExperId) &&
         out.WriteInt32(m_tFailed) && out.WriteInt32(m_nOperationId) &&
         out.WriteInt32(m_nScore) && out.WriteString(m_strFid) &&
         out.WriteString(m_strCourseName) && out.WriteString(m_strResourceName) &&
         out.WriteString(m_strData) && out.WriteString(m_strReserved1) &&
         out.WriteString(m_strReserved2) && out.WriteInt32(m_nReserved1) &&
         out.WriteInt32(m_nReserved2);
}

bool ExamErrRecord::Load(CRecordStream& in) {
  return in.ReadString(m_strServer) && in.ReadInt32(m_nPort) && in.ReadInt32(m_nUserId) &&
         in.ReadInt32(m_nCourseId) && in.ReadInt32(m_nExperId) && in.ReadInt32(m_tFailed) &&
         in.ReadInt32(m_nOperationId) && in.ReadInt32(m_nScore) && in.ReadString(m_strFid) &&
         in.ReadString(m_strCourseName) && in.ReadString(m_strResourceName) &&
         in.ReadString(m_strData) && in.ReadString(m_strReserved1) &&
         in.ReadString(m_strReserved2) && in.ReadInt32(m_nReserved1) &&
         in.ReadInt32(m_nReserved2);
}

bool ExamErrRecord::SameFailure(const ExamErrRecord& o) const {
  auto fields = [](const ExamErrRecord& r) {
    return std::tie(r.m_strServer, r.m_nPort, r.m_nUserId, r.m_nCourseId, r.m_nExperId,
                    r.m_tFailed, r.m_nScore, r.m_strFid, r.m_strData, r.m_strReserved1,
                    r.m_strReserved2, r.m_nReserved1, r.m_nReserved2);
  };
  return fields(*this) == fields(o);
}

// Changes still waiting belong to the previous file: the caller commits
// them before it changes the path.
void CExamErrStore::SetPath(const std::string& path) {
  if (path == m_strPath) return;
  m_strPath = path;
  m_bFileHeld = false;
  m_pendingAdds.clear();
  m_pendingRemovals.clear();
  if (m_nLockDepth == 0) m_pMutex.reset();
}

// The backup is the crash-safe save's mend: it stands in only for a file
// that is missing or damaged, never for one that is merely held.
ExamErrRead CExamErrStore::ReadFile(std::list<ExamErrRecord>& records) {
  records.clear();
  m_bFileHeld = false;
  if (m_strPath.empty()) return ExamErrRead::Incomplete;
  FileLock lock(*this);
  const ExamErrRead file = ReadOneFile(m_strPath, records);
  m_bFileHeld = file == ExamErrRead::Held;
  if (file != ExamErrRead::Incomplete) return file;
  // The backup replaces what the file gave only when it reads whole; a held
  // backup of a missing file may be all there is, so it is not saved over.
  std::list<ExamErrRecord> backup;
  const ExamErrRead old = ReadOneFile(m_strPath + "_OLD", backup);
  if (old == ExamErrRead::Held) {
    records.clear();
    m_bFileHeld = true;
    return old;
  }
  if (old != ExamErrRead::Whole) return file;
  records.swap(backup);
  return ExamErrRead::Whole;
}

// Each removal accounts for one record of the file; names fetched here are
// kept for a record whose stored ones are empty, so they are saved too.
void CExamErrStore::ApplyPending(std::list<ExamErrRecord>& onDisk) const {
  std::list<const ExamErrRecord*> removals;
  for (const ExamErrRecord& removed : m_pendingRemovals) removals.push_back(&removed);
  onDisk.remove_if([&removals](const ExamErrRecord& record) {
    for (auto it = removals.begin(); it != removals.end(); ++it) {
      if (!(*it)->SameFailure(record)) continue;
      removals.erase(it);
      return true;
    }
    return false;
  });
  for (ExamErrRecord& record : onDisk) {
    for (const ExamErrRecord& shown : m_records) {
      if (!shown.SameFailure(record)) continue;
      if (record.m_strCourseName.empty()) record.m_strCourseName = shown.m_strCourseName;
      if (record.m_strResourceName.empty()) record.m_strResourceName = shown.m_strResourceName;
      break;
    }
  }
  onDisk.insert(onDisk.end(), m_pendingAdds.begin(), m_pendingAdds.end());
}

// A held file shows only the failures that wait here: no other process can
// have sent those, while what the store read earlier may be gone from the file.
bool CExamErrStore::Load() {
  FileLock lock(*this);
  std::list<ExamErrRecord> onDisk;
  const ExamErrRead read = ReadFile(onDisk);
  if (read == ExamErrRead::Held) {
    m_records = m_pendingAdds;
    return false;
  }
  ApplyPending(onDisk);
  m_records.swap(onDisk);
  if (HasPending()) Save();
  return read == ExamErrRead::Whole;
}

// A held file leaves the list as it is: the change is shown, only not saved.
bool CExamErrStore::Commit() {
  if (m_strPath.empty()) return false;
  FileLock lock(*this);
  std::list<ExamErrRecord> onDisk;
  if (ReadFile(onDisk) == ExamErrRead::Held) return false;
  ApplyPending(onDisk);
  m_records.swap(onDisk);
  return Save();
}

bool CExamErrStore::Save() {
  if (m_strPath.empty() || m_bFileHeld) return false;
  FileLock lock(*this);
  const bool saved = SaveWithBackup(m_strPath, [this](CRecordStream& out) {
    if (!out.WriteInt32((int32_t)m_records.size())) return false;
    for (const ExamErrRecord& record : m_records)
      if (!record.Store(out)) return false;
    return true;
  });
  if (saved) {
    m_pendingAdds.clear();
    m_pendingRemovals.clear();
  }
  return saved;
}

ExamErrRecord& CExamErrStore::Keep(ExamErrRecord record) {
  m_pendingAdds.push_back(record);
  return Append(std::move(record));
}

ExamErrRecord& CExamErrStore::Add(ExamErrRecord record) {
  FetchMissingNames(record);
  return Append(std::move(record));
}

ExamErrRecord& CExamErrStore::Append(ExamErrRecord record) {
  m_records.push_back(std::move(record));
  return m_records.back();
}

void CExamErrStore::Remove(const ExamErrRecord* record) {
  m_records.remove_if([this, record](const ExamErrRecord& r) {
    if (&r != record) return false;
    Forget(r);
    return true;
  });
}

ExamErrRecord* CExamErrStore::Find(const ExamErrRecord& failure) {
  for (ExamErrRecord& record : m_records)
    if (record.SameFailure(failure)) return &record;
  return nullptr;
}

void CExamErrStore::Clear() {
  for (const ExamErrRecord& record : m_records) Forget(record);
  m_records.clear();
}

// A failure that never reached the file is simply no longer kept; one that
// may be in the file waits to be taken out of it.
void CExamErrStore::Forget(const ExamErrRecord& record) {
  for (auto it = m_pendingAdds.begin(); it != m_pendingAdds.end(); ++it) {
    if (!it->SameFailure(record)) continue;
    m_pendingAdds.erase(it);
    return;
  }
  m_pendingRemovals.push_back(record);
}

// Without the mutex (it cannot be made) the file is still read and saved: a
// race that may be lost is better than a record that surely is.
CExamErrStore::FileLock::FileLock(const CExamErrStore& store) : m_store(store) {
  if (m_store.m_nLockDepth++ > 0 || m_store.m_strPath.empty()) return;
  if (!m_store.m_pMutex) {
    m_store.m_pMutex = std::make_unique<platform::CNamedMutex>();
    m_store.m_pMutex->Create(MutexName(m_store.m_strPath), false);
  }
  m_store.m_bLocked = m_store.m_pMutex->Lock();
}

CExamErrStore::FileLock::~FileLock() {
  if (--m_store.m_nLockDepth > 0 || !m_store.m_bLocked) return;
  m_store.m_pMutex->Unlock();
  m_store.m_bLocked = false;
}

void FetchMissingNames(ExamErrRecord& record) {
  if (record.m_strCourseName.empty()) {
    CourseDetail course;
    if (CPlatformApi::GetCourseDetail(record.m_strServer, record.m_nPort, record.m_nCourseId,
                                      course))
      record.m_strCourseName = course.name;
  }
  if (record.m_strResourceName.empty()) {
    SourceDetail source;
    if (CPlatformApi::GetSourceDetail(record.m_strServer, record.m_nPort, record.m_nExperId,
                                      source))
      record.m_strResourceName = source.name;
  }
}
