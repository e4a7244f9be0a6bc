// The application's side of the CDN listener: starting it and taking in
// announcements.
#include "app/AppLog.h"
#include "app/AssistantApp.h"

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
  std::string server;
  if (!app || !ReadCdnAnnouncement(payload, length, server)) return 1;  // listening goes on
  SharedState& shared = app->Shared();
  // A server that the user typed while this process listened is kept: a
  // broadcast, which any machine of the LAN can send, does not replace it.
  const bool named = !ReadCdnServer(shared).empty() && !IsCdnServerAnnounced(shared);
  if (!named) {
    if (!StoreAnnouncedCdnServer(shared, server)) return 1;
    // Neither CDN entry of the log carries a time.
    WriteLog(GetLogPath(), "接收到CDN Server的广播: %s\r\n", server.c_str());
  }
  if (app->m_pCdnListener) app->m_pCdnListener->CloseSockets();
  return 1;
}
