// The CDN server dialog of the application without its main window, for the
// end-to-end tests and for a look.
//   cdndialog show     opens the dialog through the application's hook, then
//                      prints "cdn <server>" with the shared block's server
//   cdndialog read     prints "cdn <server>" only
// Output is UTF-8.
#include <windows.h>

#include <cstdio>
#include <string>

#include "app/win/WinAssistantApp.h"
#include "net/Codecs.h"

int main(int argc, char** argv) {
  std::string verb = argc > 1 ? argv[1] : "";
  if (verb != "show" && verb != "read") return 2;
  CWinAssistantApp app;
  if (verb == "show") app.ShowCdnServerDialog();
  std::string line = AnsiToUtf8("cdn " + ReadCdnServer(app.Shared())) + "\n";
  fwrite(line.data(), 1, line.size(), stdout);
  fflush(stdout);
  return 0;
}
