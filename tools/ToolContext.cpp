#include "tools/ToolContext.h"

#include <cstdio>

#include "app/AppLog.h"
#include "net/WebClient.h"
#include "platform/Files.h"

namespace {

const char kToolCaption[] = "提示";
const int kToolPort = 7112;
const char kToolDirectory[] = "VelmoraTool";

class WebFetcher final : public IToolFetcher {
 public:
  bool Fetch(const std::string& url, const std::string& path) override {
    CWebClient client;
    return client.Download(url, path);
  }
};

}  // namespace

IToolFetcher& WebToolFetcher() {
  static WebFetcher fetcher;
  return fetcher;
}

std::string ToolFileUrl(const std::string& host, const std::string& name) {
  char port[16];
  snprintf(port, sizeof port, "%d", kToolPort);
  return "http://" + host + ":" + port + "/" + kToolDirectory + "/" + name;
}

bool FetchToolFile(const ToolContext& context, const std::string& name, const std::string& path) {
  // Downloads resume after what the file holds: a stale copy must go first.
  platform::DeleteFileAt(path);
  if (context.fetcher->Fetch(ToolFileUrl(context.host, name), path)) return true;
  platform::DeleteFileAt(path);
  return false;
}

std::string ToolPath(const ToolContext& context, const std::string& name) {
  return context.toolsDir + "\\" + name;
}

void ShowToolMessage(const ToolContext& context, const std::string& text,
                     platform::MessageIcon icon) {
  context.desktop->ShowMessage(text, kToolCaption, icon, true);
}

bool AskTool(const ToolContext& context, const std::string& question) {
  return context.desktop->AskYesNo(question, kToolCaption);
}

void LogToolEvent(const std::string& text) {
  WriteLog(GetLogPath(), "[%s]:%s\r\n", FormatNow().c_str(), text.c_str());
}
