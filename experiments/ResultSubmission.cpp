#include "experiments/ResultSubmission.h"

#include <cstdio>

#include "app/AppLog.h"
#include "app/AssistantApp.h"
#include "experiments/ExamErrStore.h"
#include "experiments/ExamFile.h"
#include "net/PlatformApi.h"

namespace {

std::string ScoreData(int score) {
  char data[32];
  snprintf(data, sizeof data, "{\"score\":%d}", score);
  return data;
}

void StoreFailedSubmission(CAssistantApp& app, const CUrlCommand& command, int operationId,
                           int score, const std::string& data) {
  ExamErrRecord record;
  record.m_strServer = command.m_strServer;
  record.m_nPort = command.m_nPort;
  record.m_nUserId = app.m_login.userId;
  record.m_nCourseId = command.m_nCouId;
  record.m_nExperId = command.m_nExperId;
  record.m_nOperationId = operationId;
  record.m_nScore = score;
  record.m_strData = data;
  record.m_strFid = command.m_strFid;
  // The look-ups may each wait for a connect time-out: they are done before
  // the file is taken, so other runs are not kept waiting for them.
  FetchMissingNames(record);
  CExamErrStore& store = *app.m_pExamErrors;
  {
    // Another run of the same user may store its failure at the same time:
    // the file, not what was read at login, is what the new one joins, and
    // no other process saves between this load and this save.
    CExamErrStore::FileLock lock(store);
    store.Load();
    store.Append(std::move(record));
    // Unsaved, the record still waits in memory for the list of this process.
    if (!store.Save())
      WriteLog(GetLogPath(), "[%s]:实验记录未能保存：%s\r\n", FormatNow().c_str(),
               store.GetPath().c_str());
  }
  app.Desktop().ShowMessage("实验记录提交到服务器失败，请到“异常中心”查看并重新提交！",
                            app.GetAppTitle(), platform::MessageIcon::None, false);
}

}  // namespace

void SubmitExperimentData(CAssistantApp& app, const CUrlCommand& command, const std::string& text,
                          int operationId) {
  if (operationId <= 0) {
    // Without a start record the platform cannot take the data: the whole
    // output waits for a retry that makes one, if it can be kept.
    if (text.size() > EXAM_TEXT_MAX) {
      WriteLog(GetLogPath(), "[%s]:实验数据超过%u字节，无法保存以便重新提交\r\n",
               FormatNow().c_str(), (unsigned)EXAM_TEXT_MAX);
      ReportResultTooLarge(app);
      return;
    }
    StoreFailedSubmission(app, command, operationId, 0, text);
    return;
  }
  int score = 0;
  ReadExamScore(text, score);
  const std::string data = ScoreData(score);
  if (CPlatformApi::AddExperimentData(command.m_strServer, command.m_nPort, operationId, data))
    return;
  StoreFailedSubmission(app, command, operationId, score, data);
}

void SubmitExperimentScore(CAssistantApp& app, const CUrlCommand& command,
                           const std::string& examPath) {
  const std::string log = GetLogPath();
  WriteLog(log, "[%s]:医学2.0该仿真实验透传数据：userid=%d, type=%d, scouID=%d, couID=%d, experId=%d\r\n",
           FormatNow().c_str(), command.m_nUserId, command.m_nType, command.m_nScouId,
           command.m_nCouId, command.m_nExperId);
  if (examPath.empty()) {
    WriteLog(log, "[%s]:医学2.0该仿真实验无数据\r\n", FormatNow().c_str());
    return;
  }
  std::string text;
  int score = 0;
  ExamRead read = ReadExamText(examPath, text, EXAM_OUTPUT_MAX);
  if (read == ExamRead::TooLarge) {
    LogExamTooLarge(examPath);
    ReportResultTooLarge(app);
  }
  if (read != ExamRead::Done || !ReadExamScore(text, score)) return;
  bool sent = CPlatformApi::UpdateScore(command.m_strServer, command.m_nPort, command.m_nUserId,
                                        command.m_nType, command.m_nScouId, command.m_nCouId,
                                        command.m_nExperId, score);
  if (sent)
    WriteLog(log, "[%s]:医学2.0提交试验数据成功\r\n", FormatNow().c_str());
  else
    WriteLog(log, "[%s]:医学2.0提交试验数据失败\r\n", FormatNow().c_str());
}

void ReportResultTooLarge(CAssistantApp& app) {
  app.Desktop().ShowMessage("仿真实验的结果数据过大，无法提交到服务器！", app.GetAppTitle(),
                            platform::MessageIcon::Warning, false);
}
