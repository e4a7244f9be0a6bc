#include "experiments/ResultSubmission.h"

#include <cstdio>
#include <new>

#include "app/AppLog.h"
#include "experiments/ExamErrStore.h"
#include "experiments/ExamFile.h"
#include "net/PlatformApi.h"

namespace {

const char kNotKept[] =
    "实验记录提交到服务器失败，且未能保存到“异常中心”，本次实验结果无法重新提交！";

std::string ScoreData(int score) {
  char data[32];
  snprintf(data, sizeof data, "{\"score\":%d}", score);
  return data;
}

ExamErrRecord FailedRecord(const ExperimentContext& context, const CUrlCommand& command,
                           int operationId, int score, const std::string& data) {
  ExamErrRecord record;
  record.m_strServer = command.m_strServer;
  record.m_nPort = command.m_nPort;
  record.m_nUserId = context.userId;
  record.m_nCourseId = command.m_nCouId;
  record.m_nExperId = command.m_nExperId;
  record.m_nOperationId = operationId;
  record.m_nScore = score;
  record.m_strData = data;
  record.m_strFid = command.m_strFid;
  return record;
}

// The record is kept once the store holds it to write: into the file at
// once, or, while another program holds the file, as soon as a later load or
// commit of this process gets through. Without a file to go to, or the
// memory to hold it, it is lost, and the user hears so.
bool KeepFailure(const ExperimentContext& context, ExamErrRecord record) {
  CExamErrStore& store = *context.examErrors;
  if (store.GetPath().empty()) return false;
  try {
    store.Keep(std::move(record));
  } catch (const std::bad_alloc&) {
    return false;
  }
  // Another run of the same user may store its failure at the same time:
  // the commit joins the file as it is now, under the file's mutex.
  if (!store.Commit())
    WriteLog(GetLogPath(), "[%s]:实验记录暂未能保存，等待文件可写入：%s\r\n", FormatNow().c_str(),
             store.GetPath().c_str());
  return true;
}

void StoreFailedSubmission(const ExperimentContext& context, const CUrlCommand& command,
                           int operationId, int score, const std::string& data) {
  ExamErrRecord record = FailedRecord(context, command, operationId, score, data);
  // The look-ups may each wait for a connect time-out: they are done before
  // the file is taken, so other runs are not kept waiting for them.
  FetchMissingNames(record);
  if (KeepFailure(context, std::move(record))) {
    context.desktop->ShowMessage("实验记录提交到服务器失败，请到“异常中心”查看并重新提交！",
                                 context.appTitle, platform::MessageIcon::None, false);
    return;
  }
  WriteLog(GetLogPath(), "[%s]:实验记录未能保存：课程ID=%d，实验ID=%d，操作ID=%d\r\n",
           FormatNow().c_str(), command.m_nCouId, command.m_nExperId, operationId);
  context.desktop->ShowMessage(kNotKept, context.appTitle, platform::MessageIcon::Warning, false);
}

std::string PendingQuestion(const CExamErrStore& store) {
  std::string text = "“异常中心”的记录文件正被其他程序使用或无法写入：\n" + store.GetPath() + "\n\n";
  if (store.HasPendingFailures())
    text += "提交失败的实验记录尚未保存，选择“否”将丢失这些记录。";
  else
    text += "已提交的实验记录尚未从文件中删除，选择“否”，这些记录将再次出现在列表中。";
  return text + "\n\n是否重试？";
}

}  // namespace

void SubmitExperimentData(const ExperimentContext& context, const CUrlCommand& command,
                          const std::string& text, int operationId) {
  if (operationId <= 0) {
    // Without a start record the platform cannot take the data: the whole
    // output waits for a retry that makes one, if it can be kept.
    if (text.size() > EXAM_TEXT_MAX) {
      WriteLog(GetLogPath(), "[%s]:实验数据超过%u字节，无法保存以便重新提交\r\n",
               FormatNow().c_str(), (unsigned)EXAM_TEXT_MAX);
      ReportResultTooLarge(context);
      return;
    }
    StoreFailedSubmission(context, command, operationId, 0, text);
    return;
  }
  int score = 0;
  ReadExamScore(text, score);
  const std::string data = ScoreData(score);
  if (CPlatformApi::AddExperimentData(command.m_strServer, command.m_nPort, operationId, data))
    return;
  StoreFailedSubmission(context, command, operationId, score, data);
}

void SubmitExperimentScore(const ExperimentContext& context, const CUrlCommand& command,
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
    ReportResultTooLarge(context);
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

void ReportResultTooLarge(const ExperimentContext& context) {
  context.desktop->ShowMessage("仿真实验的结果数据过大，无法提交到服务器！", context.appTitle,
                               platform::MessageIcon::Warning, false);
}

void CommitKeptFailures(const ExperimentContext& context) {
  CExamErrStore& store = *context.examErrors;
  while (store.HasPending() && !store.Commit()) {
    if (context.desktop->AskYesNo(PendingQuestion(store), context.appTitle)) continue;
    WriteLog(GetLogPath(), "[%s]:实验记录的更改未能保存：%s\r\n", FormatNow().c_str(),
             store.GetPath().c_str());
    return;
  }
}
