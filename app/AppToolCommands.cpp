#include "app/AppToolCommands.h"

#include "BuildConfig.h"
#include "app/AssistantApp.h"
#include "net/MbcsText.h"
#include "net/ServerAddress.h"
#include "platform/SystemDirs.h"
#include "tools/ToolCommands.h"
#include "tools/UpdateCheck.h"

namespace {

std::string OrSystem(const std::string& dir, std::string (*system)()) {
  return dir.empty() ? system() : dir;
}

}  // namespace

std::string ToolServerHost(const std::string& policyServer, const std::string& lastHost) {
  for (const std::string& server : {policyServer, lastHost}) {
    if (!IsSecureServer(server)) continue;
    std::string name = ServerHostName(server);
    name = name.substr(0, name.find(':'));
    if (MbcsEqualNoCase(name, VELMORA_DEFAULT_HOST))
      return SECURE_SERVER_SCHEME + std::string(VELMORA_DEFAULT_HOST);
  }
  return VELMORA_DEFAULT_HOST;
}

ToolContext MakeToolContext(CAssistantApp& app) {
  ToolContext context;
  context.desktop = &app.Desktop();
  context.fetcher = &app.ToolFetcher();
  context.libraries = &platform::SystemLibraries();
  context.registry = &platform::SystemRegistry();
  context.info = &app.m_toolInfo;
  context.installer = &ProgramInstaller();
  context.host = ToolServerHost(app.m_policy.server, app.m_pSettings->m_strLastHost);
  context.programPath = platform::ProgramPath();
  context.dataDir = app.m_pSettings->m_strDataDir;
  context.toolsDir = app.m_pSettings->m_strToolsDir;
  // Set at start-up; a command run before it still finds the system's.
  context.windowsDir = OrSystem(app.m_toolPaths.windowsDir, platform::WindowsDirectory);
  context.tempDir = OrSystem(app.m_toolPaths.tempDir, platform::TempDirectory);
  context.systemDir = platform::SystemDirectory();
  context.programVersion = VELMORA_VERSION_TEXT;
  context.requireSignedTools = app.m_policy.requireSignedTools;
  context.retiredKeysWithEachFile = !app.m_policy.updateCheck;
  context.downloadBar = [&app](const std::string& url, const std::string& dir,
                               const std::string& name, const std::string& label) {
    return app.RunDownloadBar(url, dir, name, label);
  };
  context.showStatus = [&app](bool shown) { app.ShowAddinInstallWindow(shown); };
  return context;
}

IToolFetcher& CAssistantApp::ToolFetcher() {
  return m_services.toolFetcher ? *m_services.toolFetcher : WebToolFetcher();
}

bool RunToolCommand(CAssistantApp& app, int id) { return RunToolCommand(MakeToolContext(app), id); }

void CheckForUpdateFromMenu(CAssistantApp& app) { CheckForUpdateFromMenu(MakeToolContext(app)); }

bool CheckForUpdateAtStartup(CAssistantApp& app) {
  bool found = false;
  return CheckForUpdate(MakeToolContext(app), found);
}
