// The application's side of the CDN listener: starting it and taking in
// announcements.
#include <cstdlib>

#include "app/AppLog.h"
#include "app/AssistantApp.h"
#include "net/Json.h"

void CAssistantApp::StartCdnListener() {
  if (m_pCdnListener) return;  // once per process
  m_pCdnListener = std::make_unique<CCdnListener>();
  m_pCdnListener->Configure(m_services.cdnPort, &CAssistantApp::OnCdnBroadcast, this);
  m_pCdnListener->Start();
}

int CAssistantApp::OnCdnBroadcast(const char* payload, int length, uint32_t senderAddress,
                                  uint16_t senderPort, void* user) {
  (void)senderAddress, (void)senderPort;
  auto* app = static_cast<CAssistantApp*>(user);
  if (!app || !payload || length < 0) return 1;
  CJsonDocument json;
  if (!json.Parse(std::string(payload, length))) return 1;
  int msgid = atoi(json.GetString("msgid").c_str());
  if (msgid != 0) return 1;
  // Any machine on the network can send this: a text that could not be put
  // into a URL as host:port is ignored and listening goes on.
  std::string server = json.GetString("server");
  if (!IsCdnServerAddress(server) || !StoreCdnServer(app->Shared(), server)) return 1;
  WriteLog(GetLogPath(), "[%s]:接收到CDN Server的广播: %s\r\n", FormatNow().c_str(),
           server.c_str());
  if (app->m_pCdnListener) app->m_pCdnListener->CloseSockets();
  return 1;
}
