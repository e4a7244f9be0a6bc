// Looks at the floating window and what it leaves behind, for the tests.
//
//   mainwndprobe rect <hwnd>          left top right bottom visible(0/1)
//   mainwndprobe command <hwnd> <id>  posts WM_COMMAND id
//   mainwndprobe clipboard            WIDTHxHEIGHT of the clipboard bitmap, or none
//   mainwndprobe clearclipboard
//   mainwndprobe cdn <block name>     the CDN server of the shared block
//   mainwndprobe foreground <hwnd>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/SharedState.h"

namespace {

HWND ParseHandle(const char* text) { return (HWND)(uintptr_t)strtoull(text, nullptr, 0); }

int Rect(HWND hWnd) {
  RECT r;
  if (!GetWindowRect(hWnd, &r)) return 1;
  printf("%ld %ld %ld %ld %d\n", r.left, r.top, r.right, r.bottom, IsWindowVisible(hWnd) ? 1 : 0);
  return 0;
}

int Clipboard() {
  if (!OpenClipboard(nullptr)) return 1;
  HBITMAP bitmap = (HBITMAP)GetClipboardData(CF_BITMAP);
  BITMAP info{};
  if (bitmap && GetObjectA(bitmap, sizeof info, &info))
    printf("%ldx%ld\n", info.bmWidth, info.bmHeight);
  else
    printf("none\n");
  CloseClipboard();
  return 0;
}

int ClearClipboard() {
  if (!OpenClipboard(nullptr)) return 1;
  EmptyClipboard();
  CloseClipboard();
  return 0;
}

int Cdn(const char* name) {
  CSharedBlock block(name);
  if (!block.IsShared()) return 1;
  printf("%s\n", ReadCdnServer(block.State()).c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  const std::string verb = argv[1];
  if (verb == "rect" && argc >= 3) return Rect(ParseHandle(argv[2]));
  if (verb == "command" && argc >= 4)
    return PostMessageA(ParseHandle(argv[2]), WM_COMMAND, atoi(argv[3]), 0) ? 0 : 1;
  if (verb == "clipboard") return Clipboard();
  if (verb == "clearclipboard") return ClearClipboard();
  if (verb == "cdn") return Cdn(argc >= 3 ? argv[2] : SHARED_BLOCK_NAME);
  if (verb == "foreground" && argc >= 3) return SetForegroundWindow(ParseHandle(argv[2])) ? 0 : 1;
  return 2;
}
