#pragma once
#include <cstdint>
#include <list>
#include <string>

class CRecordStream;

// One run whose data did not reach the platform, kept for a retry.
struct ExamErrRecord {
  ExamErrRecord();  // empty texts, zero numbers, failed now

  bool Store(CRecordStream& out) const;
  bool Load(CRecordStream& in);

  std::string m_strServer;
  int32_t m_nPort = 0;
  int32_t m_nUserId = 0;
  int32_t m_nCourseId = 0;
  int32_t m_nExperId = 0;
  int32_t m_nOperationId = 0;  // 0 or less: the run has no start record yet
  int32_t m_tFailed = 0;       // seconds since 1970-01-01 UTC
  int32_t m_nScore = 0;
  std::string m_strCourseName;
  std::string m_strResourceName;
  std::string m_strFid;
  std::string m_strData;
  std::string m_strReserved1;
  std::string m_strReserved2;
  int32_t m_nReserved1 = 0;
  int32_t m_nReserved2 = 0;
};

// The failed submissions of one account (examerr.data in its directory), in
// the order they failed.
class CExamErrStore {
 public:
  void SetPath(const std::string& path) { m_strPath = path; }
  const std::string& GetPath() const { return m_strPath; }

  // Replaces the records with the file's; false when it cannot be opened or
  // is damaged (the records read whole before the damage stay).
  bool Load();
  // The whole list, with the "_OLD" backup.
  bool Save() const;
  // Appends the record after fetching its course's and resource's names from
  // its platform (a name stays empty when its look-up fails). Not saved.
  ExamErrRecord& Add(ExamErrRecord record);
  void Remove(const ExamErrRecord* record);
  void Clear() { m_records.clear(); }

  std::list<ExamErrRecord>& Records() { return m_records; }
  const std::list<ExamErrRecord>& Records() const { return m_records; }

 private:
  std::string m_strPath;
  std::list<ExamErrRecord> m_records;
};

// Fetches the names that are still empty from the record's platform.
void FetchMissingNames(ExamErrRecord& record);
