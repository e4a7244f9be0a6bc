#include "experiments/ExperimentLaunch.h"

#include <memory>

#include "app/AppLog.h"
#include "app/OpenSafety.h"
#include "experiments/ExamFile.h"
#include "experiments/ResultSubmission.h"
#include "net/MbcsText.h"
#include "net/PlatformApi.h"
#include "platform/Files.h"

namespace {

const char kPromptCaption[] = "提示";
const char kAppCaption[] = "Velmora助手";

// The shell's refusal (no program for the type, a broken association) must
// not leave the student waiting for a document that never appears. The
// download itself succeeded, so the result stays 1.
void ReportUnopened(platform::IDesktop& desktop, const std::string& path) {
  WriteLog(GetLogPath(), "[%s]:资源文件无法打开：%s\r\n", FormatNow().c_str(), path.c_str());
  desktop.ShowMessage("资源已下载，但无法打开：\n" + path +
                          "\n\n本机没有能打开此类文件的程序，请安装相应的程序后重试。",
                      kAppCaption, platform::MessageIcon::Warning, true);
}

// One run of an experiment, from its exam file to its end record.
class CExperimentRun {
 public:
  CExperimentRun(const ExperimentContext& context, const CUrlCommand& command)
      : m_context(context), m_command(command) {}

  void WriteExamFile(const std::string& resourcePath);
  bool Start(const std::string& exePath);
  void Finish();

 private:
  std::string UserName();
  void SubmitOutput();
  void LogNoOutput();

  const ExperimentContext& m_context;
  const CUrlCommand& m_command;
  std::string m_strExamPath;  // empty: no exam file for this run
  platform::FileTimes m_written;
  std::unique_ptr<platform::IRunningProcess> m_pProcess;
  int m_nOperationId = 0;
};

std::string CExperimentRun::UserName() {
  if (!m_command.m_strUserName.empty()) return m_command.m_strUserName;
  if (!m_context.userName.empty()) return m_context.userName;
  return m_context.savedUserName ? m_context.savedUserName(m_command.m_strServer, m_command.m_nPort)
                                 : std::string();
}

void CExperimentRun::WriteExamFile(const std::string& resourcePath) {
  if (m_command.m_nCouId <= 0 || m_command.m_nExperId <= 0) return;
  const std::string examPath = m_context.resourceDir + "\\" + m_command.m_strFid + ".exam";
  // A resource whose extension is "exam" is that very file: writing the exam
  // file would delete the cached resource that the file list vouches for.
  if (MbcsEqualNoCase(examPath, resourcePath)) {
    WriteLog(GetLogPath(), "[%s]:资源文件即实验文件，未写实验文件：%s\r\n", FormatNow().c_str(),
             resourcePath.c_str());
    return;
  }
  m_strExamPath = examPath;
  platform::DeleteFileAt(m_strExamPath);
  ExamFileValues values;
  values.uid = m_command.m_nUserId > 0 ? m_command.m_nUserId : m_context.userId;
  values.score = m_command.m_nScore != 0 ? m_command.m_nScore : 100;
  values.extraData = m_command.m_strExtraData;
  values.userName = UserName();
  ::WriteExamFile(m_strExamPath, values);
  if (!platform::ReadFileTimes(m_strExamPath, m_written)) m_written = platform::FileTimes();
}

bool CExperimentRun::Start(const std::string& exePath) {
  const std::string& password =
      m_command.m_strPwd.empty() ? std::string(EXPERIMENT_PASSWORD) : m_command.m_strPwd;
  m_pProcess = m_context.desktop->StartHidden(BuildExperimentCommandLine(
      exePath, password, m_strExamPath.empty() ? EXAM_PATH_NONE : m_strExamPath));
  if (!m_pProcess) return false;
  if (!m_strExamPath.empty()) {
    WriteLog(GetLogPath(), "[%s]:仿真实验开始：课程ID=%d，实验ID=%d\r\n", FormatNow().c_str(),
             m_command.m_nCouId, m_command.m_nExperId);
    int id = 0;
    if (CPlatformApi::AddExperimentRecord(m_command.m_strServer, m_command.m_nPort, 1,
                                          m_context.userId, m_command.m_nExperId,
                                          m_command.m_nCouId, id))
      m_nOperationId = id;
  }
  return true;
}

void CExperimentRun::LogNoOutput() {
  WriteLog(GetLogPath(), "[%s]:仿真实验结束：操作ID=%d，该实验未输出实验文件！\r\n",
           FormatNow().c_str(), m_nOperationId);
}

void CExperimentRun::SubmitOutput() {
  platform::FileTimes now;
  if (!platform::FileExists(m_strExamPath) || !platform::ReadFileTimes(m_strExamPath, now) ||
      now.written == m_written.written) {
    LogNoOutput();
    return;
  }
  std::string text;
  ExamRead read = ReadExamText(m_strExamPath, text, EXAM_OUTPUT_MAX);
  if (read == ExamRead::TooLarge) {
    LogExamTooLarge(m_strExamPath);
    LogNoOutput();
    ReportResultTooLarge(m_context);
  }
  if (read != ExamRead::Done) return;
  WriteLog(GetLogPath(), "[%s]:提交实验数据：操作ID=%d\r\n", FormatNow().c_str(), m_nOperationId);
  SubmitExperimentData(m_context, m_command, text, m_nOperationId);
}

void CExperimentRun::Finish() {
  m_pProcess->Wait();
  if (m_command.m_nScouId > 0) {
    SubmitExperimentScore(m_context, m_command, m_strExamPath);
    return;
  }
  WriteLog(GetLogPath(), "[%s]:实验文件:%s, 用户ID:%d, 操作ID:%d\r\n", FormatNow().c_str(),
           m_strExamPath.c_str(), m_context.userId, m_nOperationId);
  if (m_strExamPath.empty()) return;
  SubmitOutput();
  WriteLog(GetLogPath(), "[%s]:仿真实验结束：操作ID=%d\r\n", FormatNow().c_str(), m_nOperationId);
  int id = m_nOperationId;
  CPlatformApi::AddExperimentRecord(m_command.m_strServer, m_command.m_nPort, 0, 0, 0, 0, id);
}

}  // namespace

// Only a program runs as an experiment (CreateProcess would hand a script to
// the command interpreter), and a resource whose type runs code opens only
// after the user agreed, as a local file would.
int OpenResourceFile(const ExperimentContext& context, const std::string& path,
                     const CUrlCommand& command) {
  if (command.m_nFtype == 1 && !IsExperimentProgram(path)) {
    WriteLog(GetLogPath(), "[%s]:仿真实验文件不是程序，未启动：%s\r\n", FormatNow().c_str(),
             path.c_str());
    return 0;
  }
  // A quote, blank or tab in the password would end its argument early and
  // put text of the link's choosing on the experiment's command line.
  if (command.m_nFtype == 1 && !IsSafeExperimentPassword(command.m_strPwd)) {
    WriteLog(GetLogPath(), "[%s]:仿真实验密码含引号、空白或控制字符，未启动：%s\r\n",
             FormatNow().c_str(), path.c_str());
    return 0;
  }
  CExperimentRun run(context, command);
  run.WriteExamFile(path);
  if (command.m_nFtype != 1) {
    if (!OpeningRunsCode(path, *context.desktop) ||
        context.desktop->AskYesNoDefaultNo(
            "网页要求打开以下文件：\n" + path + "\n\n打开此类文件会运行程序。是否打开？",
            kPromptCaption)) {
      if (!context.desktop->ShellOpen(path)) ReportUnopened(*context.desktop, path);
    }
    return 1;
  }
  if (!run.Start(path)) return 0;
  run.Finish();
  return 1;
}
