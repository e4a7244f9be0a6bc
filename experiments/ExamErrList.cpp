#include "experiments/ExamErrList.h"

#include <cstdio>
#include <ctime>

#include "net/PlatformApi.h"
#include "platform/WaitCursor.h"

namespace {

const char kPromptCaption[] = "提示";
const char kResubmitFailed[] = "提交仿真实验数据失败！";
const char kSentNotYetRemoved[] =
    "实验数据已提交到服务器。\n\n“异常中心”的记录文件正被其他程序使用或无法写入，该记录已从列表中移除，"
    "将在文件可以写入时从文件中删除。";
const char kNotYetCleared[] =
    "“异常中心”的记录文件正被其他程序使用或无法写入，记录已从列表中清除，将在文件可以写入时从文件中删除。";

}  // namespace

void CExamErrList::Fill() {
  m_store.Load();
  for (ExamErrRecord& record : m_store.Records()) FetchMissingNames(record);
  ShowStoredRows();
}

void CExamErrList::ShowStoredRows() {
  m_rows.assign(m_store.Records().begin(), m_store.Records().end());
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
  ExamErrRecord& record = m_rows[row];
  if (record.m_nOperationId <= 0) {
    int id = 0;
    if (!CPlatformApi::AddExperimentRecord(record.m_strServer, record.m_nPort, 1,
                                           record.m_nUserId, record.m_nExperId,
                                           record.m_nCourseId, id)) {
      m_desktop.ShowMessage(kResubmitFailed, kPromptCaption, platform::MessageIcon::Stop, false);
      return false;
    }
    // A later try sends its data under this start record, not a new one.
    record.m_nOperationId = id;
    if (ExamErrRecord* stored = m_store.Find(record)) stored->m_nOperationId = id;
  }
  if (!CPlatformApi::AddExperimentData(record.m_strServer, record.m_nPort, record.m_nOperationId,
                                       record.m_strData)) {
    m_desktop.ShowMessage(kResubmitFailed, kPromptCaption, platform::MessageIcon::Stop, false);
    return false;
  }
  int id = record.m_nOperationId;
  CPlatformApi::AddExperimentRecord(record.m_strServer, record.m_nPort, 0, 0, 0, 0, id);
  // Sent is sent: the record leaves the list now, and the file as soon as it
  // can be written, so it is never sent twice.
  m_store.Remove(m_store.Find(record));
  m_rows.erase(m_rows.begin() + row);
  if (CommitAndShow())
    m_desktop.ShowMessage("仿真实验数据提交成功！", kPromptCaption,
                          platform::MessageIcon::Information, false);
  else
    m_desktop.ShowMessage(kSentNotYetRemoved, kPromptCaption, platform::MessageIcon::Warning,
                          false);
  return true;
}

bool CExamErrList::ClearAll() {
  if (!CanClear()) return false;
  if (!m_desktop.AskYesNo("清空数据后将无法恢复实验数据，确定要清空么", kPromptCaption)) return false;
  m_rows.clear();
  m_store.Clear();
  if (!CommitAndShow())
    m_desktop.ShowMessage(kNotYetCleared, kPromptCaption, platform::MessageIcon::Warning, false);
  return true;
}

// The file as it is now takes the change, so failures that other processes
// stored meanwhile are kept and shown; their names are looked up with the
// file free again, as when the list is filled.
bool CExamErrList::CommitAndShow() {
  const bool committed = m_store.Commit();
  for (ExamErrRecord& record : m_store.Records()) {
    bool known = false;
    for (const ExamErrRecord& before : m_rows) known = known || before.SameFailure(record);
    if (!known) FetchMissingNames(record);
  }
  ShowStoredRows();
  return committed;
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
