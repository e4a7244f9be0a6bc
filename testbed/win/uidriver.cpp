// Drives the windows of other processes for the end-to-end tests.
//   uidriver launch <command line>                 start exactly this command line; prints the pid
//   uidriver wait <class|*> <caption|*> [ms]       waits for a top-level window; prints its handle
//   uidriver gone <hwnd> [ms]                      waits until the window no longer exists
//   uidriver text <hwnd> [control id]              text of a control (default: a message box's text)
//   uidriver caption <hwnd>                        the window's own caption
//   uidriver click <hwnd> <control id>             clicks a button (IDOK 1, IDYES 6, IDNO 7)
//   uidriver settext <hwnd> <control id> <text>    types into an edit (fires EN_CHANGE)
//   uidriver combo <hwnd> <control id> <index>     picks a combo item and tells the parent
//   uidriver children <hwnd>                       id, class and text of every child
//   uidriver list                                  every visible top-level window
//   uidriver close <hwnd>                          asks the window to close
//   uidriver waitpid <pid> [ms]                    waits for a process; prints its exit code
// Arguments arrive in the system code page; output is UTF-8. Exit code 0 on
// success, 1 when the window, control or process was not found in time.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "net/Codecs.h"

namespace {

void Print(const std::string& ansi) {
  std::string utf8 = AnsiToUtf8(ansi) + "\n";
  fwrite(utf8.data(), 1, utf8.size(), stdout);
  fflush(stdout);
}

HWND ParseHandle(const char* text) { return (HWND)(INT_PTR)strtoll(text, nullptr, 0); }

std::string HandleText(HWND h) {
  char buf[32];
  snprintf(buf, sizeof buf, "0x%llx", (unsigned long long)(INT_PTR)h);
  return buf;
}

std::string WindowText(HWND h) {
  char buf[8192] = "";
  DWORD_PTR length = 0;
  SendMessageTimeoutA(h, WM_GETTEXT, sizeof buf, (LPARAM)buf, SMTO_ABORTIFHUNG, 5000, &length);
  return buf;
}

std::string ClassOf(HWND h) {
  char buf[256] = "";
  GetClassNameA(h, buf, sizeof buf);
  return buf;
}

HWND Control(HWND dialog, const char* id) { return GetDlgItem(dialog, (int)strtol(id, nullptr, 0)); }

int Launch(const char* commandLine) {
  std::string line = commandLine;
  // No standard handles for the program: it would write into the pid's
  // reply (the CDN listener prints its local address) and hold it open.
  STARTUPINFOA si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
    return 1;
  Print(std::to_string(pi.dwProcessId));
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return 0;
}

int Wait(const char* cls, const char* caption, DWORD ms) {
  const char* c = strcmp(cls, "*") == 0 ? nullptr : cls;
  const char* t = strcmp(caption, "*") == 0 ? nullptr : caption;
  for (DWORD start = GetTickCount(); GetTickCount() - start <= ms; Sleep(50)) {
    // Hidden windows of the same class and caption may stand before it.
    for (HWND h = FindWindowExA(nullptr, nullptr, c, t); h; h = FindWindowExA(nullptr, h, c, t)) {
      if (IsWindowVisible(h)) {
        Print(HandleText(h));
        return 0;
      }
    }
  }
  return 1;
}

int Gone(HWND h, DWORD ms) {
  for (DWORD start = GetTickCount(); GetTickCount() - start <= ms; Sleep(50))
    if (!IsWindow(h)) return 0;
  return 1;
}

// A push button tells its dialog as a real click does; check boxes and radio
// buttons get BM_CLICK so that their state changes too. (BM_CLICK on a push
// button of a window that is not in the foreground is lost under Wine.)
int Click(HWND dialog, const char* id) {
  HWND button = Control(dialog, id);
  if (!button) return 1;
  LONG type = GetWindowLongA(button, GWL_STYLE) & BS_TYPEMASK;
  if (type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON)
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(button), BN_CLICKED), (LPARAM)button);
  else
    PostMessageA(button, BM_CLICK, 0, 0);
  return 0;
}

int SetText(HWND dialog, const char* id, const char* text) {
  HWND edit = Control(dialog, id);
  if (!edit) return 1;
  DWORD_PTR r = 0;
  SendMessageTimeoutA(edit, WM_SETTEXT, 0, (LPARAM)text, SMTO_ABORTIFHUNG, 5000, &r);
  return 0;
}

int PickCombo(HWND dialog, const char* id, int index) {
  HWND combo = Control(dialog, id);
  if (!combo) return 1;
  DWORD_PTR r = 0;
  SendMessageTimeoutA(combo, CB_SETCURSEL, index, 0, SMTO_ABORTIFHUNG, 5000, &r);
  WPARAM command = MAKEWPARAM(GetDlgCtrlID(combo), CBN_SELCHANGE);
  SendMessageTimeoutA(dialog, WM_COMMAND, command, (LPARAM)combo, SMTO_ABORTIFHUNG, 5000, &r);
  return 0;
}

BOOL CALLBACK PrintChild(HWND h, LPARAM) {
  Print(std::to_string(GetDlgCtrlID(h)) + "\t" + ClassOf(h) + "\t" + WindowText(h));
  return TRUE;
}

BOOL CALLBACK PrintTopLevel(HWND h, LPARAM) {
  if (!IsWindowVisible(h)) return TRUE;
  DWORD pid = 0;
  GetWindowThreadProcessId(h, &pid);
  Print(HandleText(h) + "\t" + ClassOf(h) + "\t" + WindowText(h) + "\t" + std::to_string(pid));
  return TRUE;
}

int WaitProcess(DWORD pid, DWORD ms) {
  HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, pid);
  if (!process) {  // already ended; its exit code is gone with it
    Print("-1");
    return 0;
  }
  DWORD code = 0;
  bool ended = WaitForSingleObject(process, ms) == WAIT_OBJECT_0;
  if (ended) GetExitCodeProcess(process, &code);
  CloseHandle(process);
  if (!ended) return 1;
  Print(std::to_string(code));
  return 0;
}

DWORD Millis(int argc, char** argv, int index, DWORD fallback) {
  return argc > index ? (DWORD)strtoul(argv[index], nullptr, 10) : fallback;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  const std::string verb = argv[1];
  if (verb == "launch" && argc >= 3) return Launch(argv[2]);
  if (verb == "wait" && argc >= 4) return Wait(argv[2], argv[3], Millis(argc, argv, 4, 10000));
  if (verb == "gone" && argc >= 3) return Gone(ParseHandle(argv[2]), Millis(argc, argv, 3, 10000));
  if (verb == "text" && argc >= 3) {
    HWND h = ParseHandle(argv[2]);
    HWND control = GetDlgItem(h, argc >= 4 ? (int)strtol(argv[3], nullptr, 0) : 0xFFFF);
    if (!control) return 1;
    Print(WindowText(control));
    return 0;
  }
  if (verb == "caption" && argc >= 3) return Print(WindowText(ParseHandle(argv[2]))), 0;
  if (verb == "click" && argc >= 4) return Click(ParseHandle(argv[2]), argv[3]);
  if (verb == "settext" && argc >= 5) return SetText(ParseHandle(argv[2]), argv[3], argv[4]);
  if (verb == "combo" && argc >= 5) return PickCombo(ParseHandle(argv[2]), argv[3], atoi(argv[4]));
  if (verb == "children" && argc >= 3) return EnumChildWindows(ParseHandle(argv[2]), PrintChild, 0), 0;
  if (verb == "list") return EnumWindows(PrintTopLevel, 0), 0;
  if (verb == "close" && argc >= 3) return PostMessageA(ParseHandle(argv[2]), WM_CLOSE, 0, 0) ? 0 : 1;
  if (verb == "waitpid" && argc >= 3)
    return WaitProcess((DWORD)strtoul(argv[2], nullptr, 10), Millis(argc, argv, 3, 10000));
  return 2;
}
