#include "experiments/ExamErrList.h"

#include <cstdio>
#include <ctime>

#include "net/PlatformApi.h"
#include "platform/WaitCursor.h"

namespace {

const char kPromptCaption[] = "提示";
const char kResubmitFailed[] = "提交仿真实验数据失败！";

}  // namespace

void CExamErrList::Fill() {
  m_rows.clear();
  m_store.Load();
  RememberStored();
  for (ExamErrRecord& record : m_store.Records()) {
    FetchMissingNames(record);
    m_rows.push_back(&record);
  }
}

std::string CExamErrList::CellText(const ExamErrRecord& record, int column) {
  switch (column) {
    case EXAMERR_COL_COURSE: return record.m_strCourseName;
    case EXAMERR_COL_RESOURCE: return record.m_strResourceName;
    case EXAMERR_COL_SCORE: return std::to_string(record.m_nScore);
    case EXAMERR_COL_TIME: return FormatFailedTime(record.m_tFailed);
    default: return std::string();
  }
}

bool CExamErrList::Resubmit(int row) {
  if (!CanResubmit(row)) return false;
  platform::CWaitCursor wait;
  ExamErrRecord& record = *m_rows[row];
  if (record.m_nOperationId <= 0) {
    int id = 0;
    if (!CPlatformApi::AddExperimentRecord(record.m_strServer, record.m_nPort, 1,
                                           record.m_nUserId, record.m_nExperId,
                                           record.m_nCourseId, id)) {
      m_desktop.ShowMessage(kResubmitFailed, kPromptCaption, platform::MessageIcon::Stop, false);
      return false;
    }
    record.m_nOperationId = id;
  }
  if (!CPlatformApi::AddExperimentData(record.m_strServer, record.m_nPort, record.m_nOperationId,
                                       record.m_strData)) {
    m_desktop.ShowMessage(kResubmitFailed, kPromptCaption, platform::MessageIcon::Stop, false);
    return false;
  }
  int id = record.m_nOperationId;
  CPlatformApi::AddExperimentRecord(record.m_strServer, record.m_nPort, 0, 0, 0, 0, id);
  m_desktop.ShowMessage("仿真实验数据提交成功！", kPromptCaption,
                        platform::MessageIcon::Information, false);
  m_rows.erase(m_rows.begin() + row);
  m_store.Remove(&record);
  SaveJoiningOthers();
  return true;
}

bool CExamErrList::ClearAll() {
  if (!CanClear()) return false;
  if (!m_desktop.AskYesNo("清空数据后将无法恢复实验数据，确定要清空么", kPromptCaption)) return false;
  m_rows.clear();
  m_store.Clear();
  SaveJoiningOthers();
  return true;
}

// A record is known by its stored fields, not its place: a save of another
// process may have shifted the file's records since this list read it.
void CExamErrList::SaveJoiningOthers() {
  const size_t firstJoined = m_rows.size();
  {
    CExamErrStore::FileLock lock(m_store);
    std::list<ExamErrRecord> onDisk;
    // A file held elsewhere is not saved over; the change waits in memory.
    if (m_store.ReadFile(onDisk) == ExamErrRead::Held) return;
    DropKnown(onDisk);
    for (ExamErrRecord& record : onDisk) {
      m_known.push_back(record);
      m_rows.push_back(&m_store.Append(std::move(record)));
    }
    if (m_store.Save()) RememberStored();
  }
  // Names are looked up with the file free again, as when the list is filled.
  for (size_t row = firstJoined; row < m_rows.size(); ++row) FetchMissingNames(*m_rows[row]);
}

void CExamErrList::DropKnown(std::list<ExamErrRecord>& onDisk) const {
  std::vector<const ExamErrRecord*> unmatched;
  for (const ExamErrRecord& known : m_known) unmatched.push_back(&known);
  onDisk.remove_if([&unmatched](const ExamErrRecord& record) {
    for (auto it = unmatched.begin(); it != unmatched.end(); ++it) {
      if (!(*it)->SameStored(record)) continue;
      unmatched.erase(it);  // each known record accounts for one on disk
      return true;
    }
    return false;
  });
}

void CExamErrList::RememberStored() {
  m_known.assign(m_store.Records().begin(), m_store.Records().end());
}

std::string FormatFailedTime(int32_t seconds) {
  std::time_t time = seconds;
  const std::tm* local = std::localtime(&time);
  if (!local) return std::string();
  char text[64];
  snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", local->tm_year + 1900,
           local->tm_mon + 1, local->tm_mday, local->tm_hour, local->tm_min, local->tm_sec);
  return text;
}
