#include "app/AppLog.h"
#include "app/AssistantApp.h"
#include "app/BrowserLink.h"
#include "app/OpenSafety.h"

namespace {

const char kPromptCaption[] = "提示";
const char kAppCaption[] = "Velmora助手";

// A page's link to a file that the shell cannot open (no such file, no
// program for its type) must not leave the user waiting for nothing.
void ReportFileNotOpened(platform::IDesktop& desktop, const std::string& path) {
  WriteLog(GetLogPath(), "[%s]:文件无法打开：%s\r\n", FormatNow().c_str(), path.c_str());
  desktop.ShowMessage("无法打开以下文件：\n" + path +
                          "\n\n文件不存在，或本机没有能打开此类文件的程序。",
                      kAppCaption, platform::MessageIcon::Warning, true);
}

}  // namespace

int CAssistantApp::DispatchUrl(const std::string& url) {
  CUrlCommand command;
  switch (ParseUrl(NormaliseUrl(CanonicalLink(url)), command)) {
    case URL_KIND_RES: return RunResourceCommand(command);
    case URL_KIND_FILE: return OpenLocalFile(command);
    case URL_KIND_EXE: return StartLocalProgram(command);
    default: return 1;
  }
}

// Documents of this machine open at once; a file that would run code, a
// file on another machine (opening it may hand the user's credentials to
// that host) and an address for another program only after the user agreed.
int CAssistantApp::OpenLocalFile(const CUrlCommand& command) {
  const std::string& path = command.m_strPath;
  std::string machine, question;
  switch (ClassifyFileFormPath(path, machine)) {
    case FileFormTarget::OtherMachine:
      question = "网页要求打开另一台计算机“" + machine + "”上的文件：\n" + path +
                 "\n\n打开它可能把您的登录凭据交给那台计算机。是否打开？";
      break;
    case FileFormTarget::OtherHandler:
      question = "网页要求打开以下地址，它不是本机的文件，将交给其他程序处理：\n" + path +
                 "\n\n是否打开？";
      break;
    case FileFormTarget::LocalFile:
      if (OpeningRunsCode(path, m_desktop))
        question = "网页要求打开以下文件：\n" + path + "\n\n打开此类文件会运行程序。是否打开？";
      break;
  }
  if ((question.empty() || m_desktop.AskYesNoDefaultNo(question, kPromptCaption)) &&
      !m_desktop.ShellOpen(path))
    ReportFileNotOpened(m_desktop, path);
  return 1;
}

// A web page may name any program: it starts only after the user agreed.
int CAssistantApp::StartLocalProgram(const CUrlCommand& command) {
  std::string question = "网页要求启动以下程序：\n" + command.m_strPath;
  if (!command.m_strArgs.empty()) question += "\n参数：" + command.m_strArgs;
  question += "\n\n只应启动您信任的程序。是否启动？";
  if (!m_desktop.AskYesNoDefaultNo(question, kPromptCaption)) return 0;
  return m_desktop.StartProcess(BuildProgramCommandLine(command.m_strPath, command.m_strArgs))
             ? 1 : 0;
}
