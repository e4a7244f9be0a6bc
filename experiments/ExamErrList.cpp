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
  for (ExamErrRecord& record : m_store.Records()) {
    FetchMissingNames(record);
    m_rows.push_back(&record);
  }
  m_nFileCount = m_rows.size();
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

// Other processes only append to the file (each reads it just before), so
// what lies beyond the records read last is new.
void CExamErrList::SaveJoiningOthers() {
  CExamErrStore file;
  file.SetPath(m_store.GetPath());
  file.Load();
  size_t index = 0;
  for (ExamErrRecord& record : file.Records()) {
    if (index++ < m_nFileCount) continue;
    m_store.Records().push_back(std::move(record));
    FetchMissingNames(m_store.Records().back());
    m_rows.push_back(&m_store.Records().back());
  }
  if (m_store.Save()) m_nFileCount = m_store.Records().size();
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
