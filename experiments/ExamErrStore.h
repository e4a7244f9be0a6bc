#pragma once
#include <cstdint>
#include <list>
#include <memory>
#include <string>

#include "platform/Sync.h"

class CRecordStream;

// One run whose data did not reach the platform, kept for a retry.
struct ExamErrRecord {
  ExamErrRecord();  // empty texts, zero numbers, failed now

  bool Store(CRecordStream& out) const;
  bool Load(CRecordStream& in);
  // The same run's failure, whatever the assistant filled in since it was
  // stored (its names, an operation id made by a retry).
  bool SameFailure(const ExamErrRecord& other) const;

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

// How a read of examerr.data ended.
enum class ExamErrRead {
  Whole,       // the file, or its backup when the file was missing or damaged
  Incomplete,  // neither read whole: what the file gave up to the damage
  Held,        // another process kept the file open: nothing was read
};

// The failed submissions of one account (examerr.data in its directory), in
// the order they failed. Every process of the user reads and rewrites the
// same file, so each load and save holds a named mutex of that file, and a
// load-change-save holds it throughout with a FileLock.
//
// A change that the file cannot take yet (another program holds it, the
// disk refuses the write) waits in memory: a failure kept here and a record
// removed here are applied to the file by the next load or commit that gets
// through, so a kept failure is not lost and a sent one never comes back.
class CExamErrStore {
 public:
  void SetPath(const std::string& path);
  const std::string& GetPath() const { return m_strPath; }

  // Replaces the records with the file's and the changes still waiting here,
  // which it then saves; false when the file cannot be opened or is damaged
  // (the records read whole before the damage stay). A file held by another
  // process beyond a short wait is not read: only the failures waiting here
  // are listed, and the store refuses to save over the file until a later
  // read gets through.
  bool Load();
  // The file's records into `records` (emptied first), the store's own
  // records untouched: for a caller that joins them with its own.
  ExamErrRead ReadFile(std::list<ExamErrRecord>& records);
  // The whole list, with the "_OLD" backup; the changes waiting here are
  // then in the file.
  bool Save();
  // Applies the changes waiting here to the file as it is now, keeping what
  // other processes stored meanwhile; false when the file is held or cannot
  // be written, and the changes still wait.
  bool Commit();
  // A failure to be kept: listed at once, in the file as soon as it can be.
  ExamErrRecord& Keep(ExamErrRecord record);
  // Changes that the file has not taken yet.
  bool HasPending() const { return !m_pendingAdds.empty() || !m_pendingRemovals.empty(); }
  bool HasPendingFailures() const { return !m_pendingAdds.empty(); }
  // Appends the record after fetching its course's and resource's names from
  // its platform (a name stays empty when its look-up fails). Not saved.
  ExamErrRecord& Add(ExamErrRecord record);
  // Appends the record as it is. Not saved.
  ExamErrRecord& Append(ExamErrRecord record);
  // Removes the record from the list now and from the file with the next
  // save that gets through.
  void Remove(const ExamErrRecord* record);
  // The store's record of the same failure, or null: a reload replaces the
  // records, so others find theirs by what they are, not where they were.
  ExamErrRecord* Find(const ExamErrRecord& failure);
  void Clear();

  std::list<ExamErrRecord>& Records() { return m_records; }
  const std::list<ExamErrRecord>& Records() const { return m_records; }

  // Holds the file's named mutex for its life; nested locks of one store
  // share the first one's hold. One store serves one thread.
  class FileLock {
   public:
    explicit FileLock(const CExamErrStore& store);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

   private:
    const CExamErrStore& m_store;
  };

 private:
  void ApplyPending(std::list<ExamErrRecord>& onDisk) const;
  void Forget(const ExamErrRecord& record);

  std::string m_strPath;
  std::list<ExamErrRecord> m_records;
  std::list<ExamErrRecord> m_pendingAdds;      // kept here, not yet in the file
  std::list<ExamErrRecord> m_pendingRemovals;  // removed here, maybe still in the file
  bool m_bFileHeld = false;  // the last load met a held file
  mutable std::unique_ptr<platform::CNamedMutex> m_pMutex;  // made at the first lock
  mutable int m_nLockDepth = 0;
  mutable bool m_bLocked = false;
};

// Fetches the names that are still empty from the record's platform.
void FetchMissingNames(ExamErrRecord& record);
