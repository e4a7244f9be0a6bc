#include <cstdio>
#include <string>

#include "app/AppLog.h"
#include "app/AssistantApp.h"
#include "app/CertificateNotice.h"
#include "app/DownloadContext.h"
#include "app/ResourceLinkCheck.h"

namespace {

const char kAppCaption[] = "Velmora助手";
const char kPromptCaption[] = "提示";

// Link text as it may stand in one log line: control bytes would start
// lines of their own.
std::string LoggableText(const std::string& text) {
  std::string shown = CutToCharacters(text, 200);
  for (char& c : shown)
    if ((unsigned char)c < 0x20 || c == 0x7f) c = '?';
  return shown;
}

}  // namespace

std::unique_ptr<IDownloadProgress> CAssistantApp::CreateDownloadProgress() {
  return std::make_unique<CNoDownloadProgress>();
}

// With a remembered auto-login account the login is silent; otherwise the
// login dialog asks. True once a user is logged in.
bool CAssistantApp::LogInForResource(const CUrlCommand& command) {
  CServerAccount* account = FindSavedAccount(command.m_strServer, command.m_nPort);
  if (!account || !account->m_bAutoLogin)
    return ShowLoginDialog(command.m_strServer, command.m_nPort);
  // The account's fields are copied: UpdateAccount may rearrange the list.
  const CServerAccount saved = *account;
  int schoolId = 0, ret = 0;
  std::string schoolName;
  bool replied = false;
  if (!CPlatformApi::Login(saved.m_strHost, saved.m_nPort, saved.m_strUser, saved.m_strPassword,
                           m_login, schoolId, schoolName, replied, saved.m_nIdentity,
                           command.m_strFid, ret)) {
    CertificateRejection rejection;
    if (CPlatformApi::TakeCertificateRejection(rejection))
      TellCertificateRejected(m_desktop, rejection);
    else if (!replied)
      m_desktop.ShowMessage(LoginFailureMessage(false, ret), kAppCaption,
                            platform::MessageIcon::Warning, true);
    else
      m_desktop.ShowMessage(LoginFailureMessage(true, ret), kPromptCaption,
                            platform::MessageIcon::Warning, false);
    return false;
  }
  m_bLoggedIn = true;
  m_pSettings->UpdateAccount(saved.m_strHost, saved.m_nPort, saved.m_strUser, saved.m_strPassword,
                             saved.m_bRemember, saved.m_bAutoLogin, saved.m_nIdentity,
                             m_login.userId, schoolId, schoolName);
  m_pSettings->Save();
  return true;
}

int CAssistantApp::RunResourceCommand(CUrlCommand& command) {
  // The fid and fext name files in the resource directory: a link must not
  // reach any other file, nor change the download URL.
  if (!IsSafeResourceFid(command.m_strFid) || !IsSafeResourceFext(command.m_strFext)) {
    WriteLog(GetLogPath(), "[%s]:资源链接已拒绝，fid或fext不是文件名：fid=%s fext=%s\r\n",
             FormatNow().c_str(), LoggableText(command.m_strFid).c_str(),
             LoggableText(command.m_strFext).c_str());
    return 0;
  }
  if (!LogInForResource(command)) return 0;
  PrepareUserDirs();
  if (m_login.access == 0) {
    m_desktop.ShowMessage("您没有权限浏览该资源！", kAppCaption, platform::MessageIcon::Warning,
                          true);
    return 0;
  }
  command.m_nFsize = m_login.fsize;
  if (Shared().nDownloading >= DOWNLOAD_SLOT_COUNT) {
    char text[256];
    snprintf(text, sizeof text, "最多同时支持%d个下载，请等待其它资源下载完毕后再试！",
             DOWNLOAD_SLOT_COUNT);
    m_desktop.ShowMessage(text, kAppCaption, platform::MessageIcon::Warning, true);
    return 0;
  }
  // Another process handles this resource already, or every slot is taken.
  if (!ClaimDownload(command.m_strFid)) return 0;
  int result;
  {
    CDownloadContext context(*this);
    result = context.OpenResource(command);
    ReleaseDownload(command.m_strFid);
    if (result == 0)
      m_desktop.ShowMessage("资源下载失败！", kAppCaption, platform::MessageIcon::Stop, true);
  }
  return result;
}
