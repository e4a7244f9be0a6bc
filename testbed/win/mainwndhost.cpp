// The program as a user who is logged in starts it: the real start-up and
// main window, with the login dialog of the start replaced by a login that
// succeeds as user 1. "切换账号..." shows the real login dialog.
//
//   mainwndhost ["<url>"]
#include <windows.h>

#include "app/win/WinAssistantApp.h"

namespace {

class CLoggedInApp final : public CWinAssistantApp {
 public:
  using CWinAssistantApp::CWinAssistantApp;
  bool ShowLoginDialog(const std::string& server, int port) override {
    if (m_bLoggedIn) return CWinAssistantApp::ShowLoginDialog(server, port);
    m_login.userId = 1;
    m_login.name = "测试教师";
    m_bLoggedIn = true;
    return true;
  }
};

// The program registers VelmoraURL.exe beside the testbed's folder, as the
// real program would register itself.
AppServices RealProgram() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, sizeof path);
  std::string program = path;
  for (int i = 0; i < 2; ++i) program.erase(program.find_last_of('\\'));
  AppServices services;
  services.programPath = program + "\\VelmoraURL.exe";
  return services;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  CLoggedInApp app(platform::SystemDesktop(), RealProgram());
  return app.Run(GetCommandLineA());
}
