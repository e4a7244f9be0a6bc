// Claims a download slot as the program does and holds it for a while,
// checking all the time that no more than five slots are taken and that no
// fid is held twice. Exit code: 0 claimed and held, 1 refused, 2 usage,
// 3 the shared block broke its rules while held.
//
//   slotclaimer <shared block name> <slot mutex name> <fid> <hold ms>
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <set>
#include <string>

#include "app/AssistantApp.h"

namespace {

class SilentDesktop final : public platform::IDesktop {
 public:
  bool AskYesNo(const std::string&, const std::string&) override { return false; }
  void ShowMessage(const std::string&, const std::string&, platform::MessageIcon, bool) override {}
  bool StartProcess(const std::string&) override { return false; }
  std::unique_ptr<platform::IRunningProcess> StartHidden(const std::string&) override {
    return nullptr;
  }
  bool ShellOpen(const std::string&, const std::string&) override { return false; }
  bool IsDangerousType(const std::string&) override { return false; }
};

bool BlockKeepsItsRules(const SharedState& state, const std::string& own) {
  std::set<std::string> held;
  for (const auto& slot : state.szDownloading) {
    std::string fid(slot, strnlen(slot, DOWNLOAD_SLOT_SIZE));
    if (!fid.empty() && !held.insert(fid).second) return false;
  }
  return held.count(own) == 1 && (int)held.size() == state.nDownloading &&
         state.nDownloading <= DOWNLOAD_SLOT_COUNT;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) return 2;
  AppServices services;
  services.sharedBlockName = argv[1];
  services.slotMutexName = argv[2];
  const std::string fid = argv[3];
  const DWORD holdMs = (DWORD)atoi(argv[4]);

  SilentDesktop desktop;
  CAssistantApp app(desktop, services);
  if (!app.ClaimDownload(fid)) return 1;
  platform::CNamedMutex guard;
  guard.Create(argv[2], false);
  bool kept = true;
  for (DWORD start = GetTickCount(); GetTickCount() - start < holdMs; Sleep(10)) {
    guard.Lock();
    kept = kept && BlockKeepsItsRules(app.Shared(), fid);
    guard.Unlock();
  }
  app.ReleaseDownload(fid);
  return kept ? 0 : 3;
}
