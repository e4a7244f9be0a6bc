#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "app/DownloadProgress.h"
#include "app/UrlCommand.h"
#include "net/WebClient.h"

class CAssistantApp;

// One resource command's download: the cached copy opened, or the file
// fetched (from the CDN server when it holds it, else or when that fails
// from the platform) into "<fid>.<fext>.tmp" with resume, then renamed and
// recorded.
class CDownloadContext {
 public:
  explicit CDownloadContext(CAssistantApp& app);
  CDownloadContext(const CDownloadContext&) = delete;
  CDownloadContext& operator=(const CDownloadContext&) = delete;

  // 1 done (also when the user declined or cancelled), 0 failed.
  int OpenResource(CUrlCommand& command);

  // The client's progress callback; `user` is the context.
  static void ProgressCallback(int64_t total, int64_t received, void* user);

  std::unique_ptr<IDownloadProgress> m_pProgressDlg;
  CWebClient m_client;

 private:
  enum class CachedCopy { Current, Updated, Unknown };
  enum class Transfer { Done, Cancelled, Failed };

  bool IsOnCurrentServer(CUrlCommand& command);
  bool MayComeFromCdn(const CUrlCommand& command, const std::string& cached);
  CachedCopy CheckCachedCopy(const CUrlCommand& command, const std::string& cached,
                             const std::string& partial);
  int64_t ResourceSize(const CUrlCommand& command);
  bool AskToDownload(int64_t size, int64_t partial, bool updated);
  int Fetch(CUrlCommand& command, const std::string& cdnServer, const std::string& cdnPath,
            const std::string& cached, const std::string& partial);
  Transfer Receive(const CUrlCommand& command, const std::string& cdnServer,
                   const std::string& cdnPath, const std::string& partial);
  Transfer Download(const std::string& url, const std::string& title, const std::string& partial);
  void RecordHash(const CUrlCommand& command);

  CAssistantApp& m_app;
  std::string m_strHost;  // the current server
  int m_nPort = 0;
};
