#include "app/DownloadContext.h"

#include <cstdio>

#include "BuildConfig.h"
#include "app/AppLog.h"
#include "app/AssistantApp.h"
#include "app/CdnLookup.h"
#include "app/CertificateNotice.h"
#include "app/DownloadUrls.h"
#include "app/OpenSafety.h"
#include "net/MbcsText.h"
#include "net/PlatformApi.h"
#include "platform/Files.h"

namespace {

constexpr int64_t QUESTION_THRESHOLD = 1048576;  // larger resources are downloaded on a Yes

bool IsVideoExtension(const std::string& fext) {
  std::string ext = MbcsToLower(fext);
  return ext == "mp4" || ext == "avi" || ext == "mov";
}

// The server did not hand over the file; a local file that cannot be
// written fails the same way from anywhere.
bool IsDeliveryFailure(int error) { return error != WCE_FILE_OPEN && error != WCE_FILE_WRITE; }

// False when a part that must not be resumed is still on disk.
bool DiscardPart(const std::string& partial) {
  return platform::DeleteFileAt(partial) || !platform::FileExists(partial);
}

double InMiB(int64_t bytes) { return (double)bytes / 1048576.0; }

// Length of a partial download that can be continued: a file we can open for
// reading and writing; 0 otherwise.
int64_t PartialLength(const std::string& path) {
  platform::File file;
  if (!platform::FileExists(path) || !file.Open(path, platform::FileMode::SharedWrite)) return 0;
  int64_t size = file.Size();
  return size > 0 ? size : 0;
}

}  // namespace

CDownloadContext::CDownloadContext(CAssistantApp& app)
    : m_pProgressDlg(app.CreateDownloadProgress()), m_app(app) {
  if (!m_pProgressDlg) m_pProgressDlg = std::make_unique<CNoDownloadProgress>();
}

int CDownloadContext::OpenResource(CUrlCommand& command) {
  if (!IsOnCurrentServer(command)) {
    // The user may log into that server now; this link is not carried out.
    m_app.ShowLoginDialog(command.m_strServer, command.m_nPort);
    return 1;
  }
  if (IsVideoExtension(command.m_strFext) && command.m_nFtype == 0) {
    m_app.PlayOnlineVideo(command);
    return 1;
  }
  const std::string& resourceDir = m_app.m_pFileList->m_strResourceDir;
  // Without its directory (the account's could not be made) the file would
  // land at the root of the drive.
  if (!platform::IsDirectory(resourceDir)) {
    WriteLog(GetLogPath(), "[%s]:资源目录不存在：%s\r\n", FormatNow().c_str(), resourceDir.c_str());
    return 0;
  }
  const std::string cached = resourceDir + "\\" + command.m_strFid + "." + command.m_strFext;
  const std::string partialPath = cached + ".tmp";
  CachedCopy copy = CheckCachedCopy(command, cached, partialPath);
  if (copy == CachedCopy::Current && platform::FileExists(cached))
    return m_app.OpenResourceFile(cached, command);

  const int64_t partial = PartialLength(partialPath);
  std::string cdnServer = ReadCdnServer(m_app.Shared());
  WriteLog(GetLogPath(), "CDN Server : %s\r\n", cdnServer.c_str());
  if (!cdnServer.empty() && !MayComeFromCdn(command, cached)) cdnServer.clear();
  std::string cdnPath;
  int64_t size = 0;
  if (!cdnServer.empty()) CdnFindFile(cdnServer, command.m_strFid, cdnPath, size);
  const bool cdnMissedFirst = cdnPath.empty();
  if (size == 0) size = ResourceSize(command);

  if (size > QUESTION_THRESHOLD) {
    if (!AskToDownload(size, partial, copy == CachedCopy::Updated)) return 1;
    // The CDN server may have fetched the file while the user read the question.
    if (cdnMissedFirst && !cdnServer.empty()) {
      int64_t ignored = 0;
      CdnFindFile(cdnServer, command.m_strFid, cdnPath, ignored);
    }
  }

  return Fetch(command, cdnServer, cdnPath, cached, partialPath);
}

// Any machine on the LAN can announce itself as the CDN server: what will run
// as a program comes from it only when IT or the user named that server.
bool CDownloadContext::MayComeFromCdn(const CUrlCommand& command, const std::string& cached) {
  if (!IsCdnServerAnnounced(m_app.Shared())) return true;
  if (command.m_nFtype != 1 && !OpeningRunsCode(cached, m_app.Desktop())) return true;
  WriteLog(GetLogPath(), "[%s]:程序不从广播得知的CDN服务器下载，改从平台下载：%s\r\n",
           FormatNow().c_str(), command.m_strFid.c_str());
  return false;
}

// A link names the server it belongs to; an empty one means the current.
bool CDownloadContext::IsOnCurrentServer(CUrlCommand& command) {
  const CSettingsStore& settings = *m_app.m_pSettings;
  m_strHost = settings.m_strLastHost;
  m_nPort = settings.m_nLastPort;
  if (command.m_strServer.empty()) {
    command.m_strServer = m_strHost;
    command.m_nPort = m_nPort;
    return true;
  }
  // The second built-in platform answers on two ports: its host alone counts.
  bool same = MbcsEqualNoCase(command.m_strServer, VELMORA_SECOND_HOST)
                  ? command.m_strServer == m_strHost
                  : command.m_strServer == m_strHost && command.m_nPort == m_nPort;
  if (!same) return false;
  m_strHost = command.m_strServer;
  m_nPort = command.m_nPort;
  return true;
}

CDownloadContext::CachedCopy CDownloadContext::CheckCachedCopy(const CUrlCommand& command,
                                                               const std::string& cached,
                                                               const std::string& partial) {
  const FileListEntry* entry = m_app.m_pFileList->FindHash(command.m_strFid);
  if (entry && entry->m_strHash == command.m_strHashCode) return CachedCopy::Current;
  platform::DeleteFileAt(partial);
  platform::DeleteFileAt(cached);
  return entry ? CachedCopy::Updated : CachedCopy::Unknown;
}

// The size that the login reported, else the platform's answer; 0 unknown.
int64_t CDownloadContext::ResourceSize(const CUrlCommand& command) {
  const CServerAccount* account = m_app.FindSavedAccount(m_strHost, m_nPort);
  if (!account) return 0;
  if (command.m_nFsize != 0) return command.m_nFsize > 0 ? command.m_nFsize : 0;
  int64_t size = 0;
  CPlatformApi::GetFileSize(account->m_strHost, account->m_nPort, command.m_strFid, size);
  return size > 0 ? size : 0;
}

bool CDownloadContext::AskToDownload(int64_t size, int64_t partial, bool updated) {
  char text[512];
  if (partial > 0)
    snprintf(text, sizeof text, "该资源大小为%0.2fM，目前已下载%0.2fM，确定继续下载么？",
             InMiB(size), InMiB(partial));
  else if (updated)
    snprintf(text, sizeof text, "该资源已更新大小为%0.2fM，需重新下载方可打开，确定下载么？",
             InMiB(size));
  else
    snprintf(text, sizeof text, "该资源大小为%0.2fM，需下载后方可打开，确定下载么？", InMiB(size));
  return m_app.Desktop().AskYesNo(text, "提示");
}

int CDownloadContext::Fetch(CUrlCommand& command, const std::string& cdnServer,
                            const std::string& cdnPath, const std::string& cached,
                            const std::string& partial) {
  m_client.m_pfnProgress = &CDownloadContext::ProgressCallback;
  m_client.m_pUserData = this;
  IDownloadProgress& progress = *m_pProgressDlg;
  const Transfer result = Receive(command, cdnServer, cdnPath, partial);
  if (result != Transfer::Done) {
    progress.Show(false);
    progress.StopTimer();
    if (result == Transfer::Failed && m_client.m_nError == WCE_CERTIFICATE)
      TellCertificateRejected(m_app.Desktop(), CertificateRejectionOf(m_client));
    if (result == Transfer::Failed) return 0;
    // Cancelled: the next link for this resource resumes the ".tmp" file
    // that the platform sent.
    RecordHash(command);
    return 1;
  }
  progress.StopTimer();
  progress.Show(false);
  if (!platform::RenameFile(partial, cached)) {
    // Typically the old copy is still open in a reader. The download stays
    // in ".tmp" and unrecorded, so the next link fetches it again.
    m_app.Desktop().ShowMessage("资源文件无法保存为：\n" + cached +
                                    "\n\n请关闭正在使用该文件的程序后重试。",
                                "Velmora助手", platform::MessageIcon::Stop, true);
    return 0;
  }
  RecordHash(command);
  return m_app.OpenResourceFile(cached, command);
}

// From the CDN server when it holds the file, else (or when it then fails to
// deliver it: evicted, down, cut short) from the platform. The CDN server's
// copy may be another version than the platform's, so a part is resumed only
// from the platform and only when the platform sent it: the CDN server's
// download starts from the first byte, and what it sent is never kept for
// the platform's download, nor after a cancel.
CDownloadContext::Transfer CDownloadContext::Receive(const CUrlCommand& command,
                                                     const std::string& cdnServer,
                                                     const std::string& cdnPath,
                                                     const std::string& partial) {
  const std::string platformUrl = PlatformDownloadUrl(m_strHost, 1, command.m_strFid);
  if (cdnPath.empty()) return Download(platformUrl, "下载资源", partial);
  WriteLog(GetLogPath(), "[%s]:CDN===>%s\r\n", FormatNow().c_str(), cdnServer.c_str());
  if (!DiscardPart(partial)) return Transfer::Failed;
  Transfer result = Download(CdnFileUrl(cdnServer, cdnPath), "下载资源(CDN)", partial);
  if (result == Transfer::Cancelled) DiscardPart(partial);
  if (result != Transfer::Failed || !IsDeliveryFailure(m_client.m_nError)) return result;
  WriteLog(GetLogPath(), "[%s]:CDN下载失败(%d)，改从平台下载：%s\r\n", FormatNow().c_str(),
           m_client.m_nError, command.m_strFid.c_str());
  m_pProgressDlg->StopTimer();
  if (!DiscardPart(partial)) return Transfer::Failed;
  return Download(platformUrl, "下载资源", partial);
}

// One transfer into the ".tmp" file, the progress window shown and titled.
CDownloadContext::Transfer CDownloadContext::Download(const std::string& url,
                                                      const std::string& title,
                                                      const std::string& partial) {
  IDownloadProgress& progress = *m_pProgressDlg;
  progress.StartTimer();
  progress.Show(true);
  progress.SetTitle(title);
  if (m_client.Download(url, partial)) return Transfer::Done;
  return m_client.m_bStopped ? Transfer::Cancelled : Transfer::Failed;
}

void CDownloadContext::RecordHash(const CUrlCommand& command) {
  m_app.m_pFileList->SetHash(command.m_strFid, command.m_strHashCode);
  m_app.m_pFileList->SaveList();
}

void CDownloadContext::ProgressCallback(int64_t total, int64_t received, void* user) {
  auto* context = static_cast<CDownloadContext*>(user);
  IDownloadProgress& progress = *context->m_pProgressDlg;
  if (progress.IsCancelled()) {
    context->m_client.StopTransfer();
    return;
  }
  progress.SetRange(0, (int)(total / 1024));
  progress.SetPos((int)(received / 1024));
}
