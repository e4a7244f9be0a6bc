// Looks at the floating window and what it leaves behind, for the tests.
//
//   mainwndprobe rect <hwnd>          left top right bottom visible(0/1)
//   mainwndprobe command <hwnd> <id>  posts WM_COMMAND id
//   mainwndprobe clipboard            WIDTHxHEIGHT of the clipboard bitmap, or none
//   mainwndprobe clearclipboard
//   mainwndprobe cdn <block name>     the CDN server of the shared block
//   mainwndprobe foreground <hwnd>
//   mainwndprobe enabled <hwnd>       1 or 0
//   mainwndprobe owner <hwnd>         the owner window's handle as 0x..., 0x0 for none
//   mainwndprobe trayadd <hwnd>       takes the window's notification-area icon (id 0) first
//   mainwndprobe traydel <hwnd>       and gives it back
//   mainwndprobe holdclipboard <ms>   holds the clipboard open; prints "held" once it does
//   mainwndprobe taskbarcreated <hwnd>  tells the window that the shell has restarted
//   mainwndprobe enter <hwnd>         Enter on the window's focused control, as the keyboard gives it
#include <windows.h>
#include <shellapi.h>

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

int Tray(DWORD action, HWND hWnd) {
  NOTIFYICONDATAA data{};
  data.cbSize = NOTIFYICONDATAA_V1_SIZE;
  data.hWnd = hWnd;
  data.uID = 0;
  data.uFlags = NIF_ICON | NIF_TIP;
  data.hIcon = LoadIconA(nullptr, (LPCSTR)IDI_APPLICATION);
  strcpy(data.szTip, "mainwndprobe");
  return Shell_NotifyIconA(action, &data) ? 0 : 1;
}

int HoldClipboard(DWORD ms) {
  if (!OpenClipboard(nullptr)) return 1;
  printf("held\n");
  fflush(stdout);
  Sleep(ms);
  CloseClipboard();
  return 0;
}

int PressEnter(HWND window) {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  if (!GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info) || !info.hwndFocus)
    return 1;
  PostMessageA(info.hwndFocus, WM_KEYDOWN, VK_RETURN, 0x001C0001);
  PostMessageA(info.hwndFocus, WM_KEYUP, VK_RETURN, 0xC01C0001);
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
  if (verb == "enabled" && argc >= 3) return printf("%d\n", IsWindowEnabled(ParseHandle(argv[2])) ? 1 : 0), 0;
  if (verb == "owner" && argc >= 3)
    return printf("0x%llx\n", (unsigned long long)(uintptr_t)GetWindow(ParseHandle(argv[2]), GW_OWNER)), 0;
  if (verb == "trayadd" && argc >= 3) return Tray(NIM_ADD, ParseHandle(argv[2]));
  if (verb == "traydel" && argc >= 3) return Tray(NIM_DELETE, ParseHandle(argv[2]));
  if (verb == "taskbarcreated" && argc >= 3)
    return PostMessageA(ParseHandle(argv[2]), RegisterWindowMessageA("TaskbarCreated"), 0, 0) ? 0 : 1;
  if (verb == "enter" && argc >= 3) return PressEnter(ParseHandle(argv[2]));
  if (verb == "holdclipboard" && argc >= 3) return HoldClipboard(strtoul(argv[2], nullptr, 10));
  return 2;
}
