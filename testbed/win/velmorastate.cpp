// What the tests and the demo set up for the program as the program itself
// would have left it. Exit code 0 done, 1 failed, 2 usage.
//
//   velmorastate account <host> <port> <user> <password> <identity>
//       remembers an auto-login account in Velmora.data (APPDATA\VelmoraWeb)
//   velmorastate cdn <host:port> <hold ms>
//       writes the CDN server into the shared block and keeps the block
//       alive for that long (it ends with its last process)
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "app/SharedState.h"
#include "store/SettingsStore.h"

namespace {

int RememberAccount(char** argv) {
  CSettingsStore settings;
  settings.Load();
  if (!settings.UpdateAccount(argv[2], atoi(argv[3]), argv[4], argv[5], 1, 1, atoi(argv[6]), 0, 0,
                              ""))
    return 1;
  return settings.Save() ? 0 : 1;
}

int HoldCdnServer(char** argv) {
  CSharedBlock block(SHARED_BLOCK_NAME);
  if (!block.IsShared() || !StoreCdnServer(block.State(), argv[2])) return 1;
  Sleep((DWORD)atoi(argv[3]));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 7 && strcmp(argv[1], "account") == 0) return RememberAccount(argv);
  if (argc == 4 && strcmp(argv[1], "cdn") == 0) return HoldCdnServer(argv);
  return 2;
}
