#include "experiments/ExamErrStore.h"

#include <ctime>

#include "experiments/ExamFile.h"
#include "net/PlatformApi.h"
#include "store/RecordStream.h"

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

// A record is kept only when read whole; data larger than any exam file the
// assistant submits marks a damaged or planted file, and the load stops.
bool CExamErrStore::Load() {
  m_records.clear();
  if (m_strPath.empty()) return false;
  return LoadRecords(m_strPath, [this](CRecordStream& in) {
    int32_t count = 0;
    if (!in.ReadInt32(count)) return false;
    for (int32_t i = 0; i < count; ++i) {
      ExamErrRecord record;
      if (!record.Load(in) || record.m_strData.size() > EXAM_TEXT_MAX) return false;
      m_records.push_back(std::move(record));
    }
    return true;
  });
}

bool CExamErrStore::Save() const {
  if (m_strPath.empty()) return false;
  return SaveWithBackup(m_strPath, [this](CRecordStream& out) {
    if (!out.WriteInt32((int32_t)m_records.size())) return false;
    for (const ExamErrRecord& record : m_records)
      if (!record.Store(out)) return false;
    return true;
  });
}

ExamErrRecord& CExamErrStore::Add(ExamErrRecord record) {
  FetchMissingNames(record);
  m_records.push_back(std::move(record));
  return m_records.back();
}

void CExamErrStore::Remove(const ExamErrRecord* record) {
  m_records.remove_if([record](const ExamErrRecord& r) { return &r == record; });
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
