#include "ui/ServerRules.h"

#include "net/MbcsText.h"
#include "net/WebClient.h"
#include "platform/WaitCursor.h"
#include "store/SettingsStore.h"

namespace {

constexpr char kPromptCaption[] = "提示";
// A CDN server is on the local network: a wrong address should not hold the
// dialog for the client's minute-long defaults.
constexpr int kCheckTimeoutMs = 10000;

bool RemoveAfterYes(CSettingsStore& settings, platform::IDesktop& desktop,
                    const std::vector<const CServerAccount*>& accounts, const char* question) {
  if (accounts.empty() || !desktop.AskYesNo(question, kPromptCaption)) return false;
  for (const CServerAccount* account : accounts) settings.RemoveAccount(account);
  settings.Save();
  return true;
}

}  // namespace

ServerListButtons ServerListButtonState(int rows, int selectedRows) {
  return {rows > 0 && selectedRows > 0, rows > 0};
}

bool DeleteServers(CSettingsStore& settings, platform::IDesktop& desktop,
                   const std::vector<const CServerAccount*>& selected) {
  return RemoveAfterYes(settings, desktop, selected, "确定要删除选定的服务器么？");
}

bool ClearServers(CSettingsStore& settings, platform::IDesktop& desktop,
                  const std::vector<const CServerAccount*>& rows) {
  return RemoveAfterYes(settings, desktop, rows, "确定要清空所有服务器么？");
}

bool CheckCdnServerUrl(const std::string& url) {
  CWebClient client;
  client.m_nConnectTimeout = client.m_nSendTimeout = client.m_nRecvTimeout = kCheckTimeoutMs;
  std::string reply;
  return client.InetGet(url, reply);
}

bool AcceptCdnServer(const std::string& text, SharedState& state, platform::IDesktop& desktop,
                     const CdnCheck& check) {
  const std::string server = TrimSpaces(text);
  if (server.empty()) {
    desktop.ShowMessage("请输入CDN服务器地址！", kPromptCaption, platform::MessageIcon::Warning,
                        false);
    return false;
  }
  // Only an address that fits the shared field and cannot bend the URLs it
  // is put into is asked at all.
  bool answers = false;
  if (IsCdnServerAddress(server)) {
    platform::CWaitCursor wait;
    answers = check("http://" + server + "/command/check.do");
  }
  if (!answers || !StoreCdnServer(state, server)) {
    desktop.ShowMessage("无法连接到服务器“" + server + "”！", kPromptCaption,
                        platform::MessageIcon::Warning, false);
    return false;
  }
  return true;
}
