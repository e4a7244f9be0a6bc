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
//   uidriver menu <hwnd> <command id>              chooses a command as its menu does
//   uidriver tooltip <hwnd>                        text of the window's tool in the tool tip
//                                                  control of the window's thread
//   uidriver waitpid <pid> [ms]                    waits for a process; prints its exit code
//   uidriver rect <hwnd> [control id]              left, top, right and bottom of the window
//                                                  or of its control
//   uidriver resize <hwnd> <control id> <w> <h>    gives a control another size
//   uidriver clipped <hwnd> [points] [face] [dpi]  every child whose text does not fit it in
//                                                  the dialog font (default 9 "MS Shell Dlg"
//                                                  at the screen's DPI):
//                                                  id, class, text, needed and available size
// Arguments arrive in the system code page; output is UTF-8. Exit code 0 on
// success, 1 when the window, control or process was not found in time.
// The driver is DPI aware, so sizes are the screen's pixels at any DPI.
#include <windows.h>
#include <commctrl.h>

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

// -- the tool tip of another process's window ---------------------------------

struct TipSearch {
  HWND owner;
  HWND found;
};

// The tool tip controls of the thread; the window's own (the one it owns)
// wins over another that the thread made.
BOOL CALLBACK FindTip(HWND h, LPARAM param) {
  auto* search = reinterpret_cast<TipSearch*>(param);
  if (_stricmp(ClassOf(h).c_str(), TOOLTIPS_CLASSA) != 0) return TRUE;
  if (!search->found || GetWindow(h, GW_OWNER) == search->owner) search->found = h;
  return TRUE;
}

HWND TipOf(HWND window) {
  TipSearch search{window, nullptr};
  DWORD thread = GetWindowThreadProcessId(window, nullptr);
  if (thread) EnumThreadWindows(thread, FindTip, (LPARAM)&search);
  return search.found;
}

// The control's messages carry pointers that it reads in its own process:
// the tool's description and the text buffer live there, one block.
struct RemoteTool {
  TOOLINFOA tool;
  char text[1024];
};

class RemoteBlock {
 public:
  explicit RemoteBlock(HWND window) {
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    process_ = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
    if (process_)
      at_ = (RemoteTool*)VirtualAllocEx(process_, nullptr, sizeof(RemoteTool),
                                        MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  }
  ~RemoteBlock() {
    if (at_) VirtualFreeEx(process_, at_, 0, MEM_RELEASE);
    if (process_) CloseHandle(process_);
  }
  RemoteTool* at() const { return at_; }
  bool Put(const RemoteTool& local) {
    return WriteProcessMemory(process_, at_, &local, sizeof local, nullptr);
  }
  bool Get(RemoteTool* local) {
    return ReadProcessMemory(process_, at_, local, sizeof *local, nullptr);
  }

 private:
  HANDLE process_ = nullptr;
  RemoteTool* at_ = nullptr;
};

LRESULT SendTo(HWND h, UINT message, WPARAM wParam, LPARAM lParam) {
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutA(h, message, wParam, lParam, SMTO_ABORTIFHUNG, 5000, &result)) return 0;
  return (LRESULT)result;
}

// The text of each of the control's tools that belongs to the window.
int PrintTooltip(HWND window) {
  HWND tip = IsWindow(window) ? TipOf(window) : nullptr;
  if (!tip) return 1;
  RemoteBlock block(window);
  if (!block.at()) return 1;
  bool printed = false;
  int count = (int)SendTo(tip, TTM_GETTOOLCOUNT, 0, 0);
  for (int i = 0; i < count; ++i) {
    RemoteTool local{};
    local.tool.cbSize = TTTOOLINFOA_V2_SIZE;
    local.tool.lpszText = block.at()->text;
    if (!block.Put(local) || !SendTo(tip, TTM_ENUMTOOLSA, i, (LPARAM)&block.at()->tool) ||
        !block.Get(&local) || local.tool.hwnd != window)
      continue;
    local.tool.lpszText = block.at()->text;  // the enumeration may have taken it away
    local.text[0] = '\0';
    if (!block.Put(local)) continue;
    SendTo(tip, TTM_GETTEXTA, sizeof local.text, (LPARAM)&block.at()->tool);
    if (!block.Get(&local)) continue;
    local.text[sizeof local.text - 1] = '\0';
    Print(local.text);
    printed = true;
  }
  return printed ? 0 : 1;
}

// -- text that does not fit its control ---------------------------------------

std::wstring WideText(HWND h) {
  wchar_t buf[4096] = L"";
  DWORD_PTR length = 0;
  SendMessageTimeoutW(h, WM_GETTEXT, 4096, (LPARAM)buf, SMTO_ABORTIFHUNG, 5000, &length);
  return buf;
}

// The font that the dialog manager gives a template's controls, at the DPI of
// this (DPI aware) process, which is the screen's. A control's own font handle
// cannot stand in: it is only good in the process that made it.
struct DialogFont {
  int points;
  std::wstring face;
  int dpi;  // of a window moved to another screen; 0: the screen's
};

int ScreenDpi() {
  HDC screen = GetDC(nullptr);
  int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  return dpi;
}

// The DPI the texts are measured for.
int g_dpi = 0;

HFONT MakeDialogFont(const DialogFont& font) {
  int height = -MulDiv(font.points, g_dpi, 72);
  return CreateFontW(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, GB2312_CHARSET,
                     OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                     DEFAULT_PITCH | FF_DONTCARE, font.face.c_str());
}

// What a control draws its text into, and how: the room is its client area
// less what the control itself draws there (a check box's box, a button's
// frame, an edit's margins).
struct TextRoom {
  SIZE room;
  UINT format;  // DrawText flags
};

int Scaled(int pixels) { return MulDiv(pixels, g_dpi, 96); }

bool StaticRoom(LONG style, SIZE client, TextRoom* out) {
  LONG type = style & SS_TYPEMASK;
  UINT prefix = (style & SS_NOPREFIX) ? DT_NOPREFIX : 0;
  if (type == SS_LEFT || type == SS_CENTER || type == SS_RIGHT)
    *out = {client, DT_WORDBREAK | prefix};
  else if (type == SS_LEFTNOWORDWRAP || type == SS_SIMPLE)
    *out = {client, DT_SINGLELINE | prefix};
  else
    return false;  // pictures, frames, owner-drawn
  return true;
}

bool ButtonRoom(LONG style, SIZE client, TextRoom* out) {
  LONG type = style & BS_TYPEMASK;
  UINT format = (style & BS_MULTILINE) ? DT_WORDBREAK : DT_SINGLELINE;
  if (type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON) {
    int frame = 2 * GetSystemMetrics(SM_CXEDGE);
    *out = {{client.cx - 2 * frame, client.cy - 2 * GetSystemMetrics(SM_CYEDGE)}, format};
  } else if (type == BS_CHECKBOX || type == BS_AUTOCHECKBOX || type == BS_RADIOBUTTON ||
             type == BS_AUTORADIOBUTTON || type == BS_3STATE || type == BS_AUTO3STATE) {
    int box = Scaled(13) + Scaled(4);  // the box and the gap before the text
    *out = {{client.cx - box, client.cy}, format};
  } else {
    return false;  // group boxes, owner-drawn
  }
  return true;
}

bool EditRoom(HWND edit, LONG style, SIZE client, TextRoom* out) {
  if (style & (ES_PASSWORD | ES_MULTILINE)) return false;
  DWORD_PTR margins = 0;
  SendMessageTimeoutW(edit, EM_GETMARGINS, 0, 0, SMTO_ABORTIFHUNG, 5000, &margins);
  *out = {{client.cx - LOWORD(margins) - HIWORD(margins), client.cy}, DT_SINGLELINE | DT_NOPREFIX};
  return true;
}

bool RoomOf(HWND control, TextRoom* out) {
  RECT r{};
  GetClientRect(control, &r);
  SIZE client{r.right - r.left, r.bottom - r.top};
  LONG style = GetWindowLongW(control, GWL_STYLE);
  std::string cls = ClassOf(control);
  if (_stricmp(cls.c_str(), "Static") == 0) return StaticRoom(style, client, out);
  if (_stricmp(cls.c_str(), "Button") == 0) return ButtonRoom(style, client, out);
  if (_stricmp(cls.c_str(), "Edit") == 0) return EditRoom(control, style, client, out);
  return false;
}

// The size the text takes in the font: one line's extent, or the lines it
// breaks into at the room's width.
SIZE TextSize(HFONT font, const std::wstring& text, const TextRoom& room) {
  HDC dc = GetDC(nullptr);
  HGDIOBJ old = SelectObject(dc, font);
  RECT r{0, 0, room.room.cx, 0};
  DrawTextW(dc, text.c_str(), (int)text.size(), &r, room.format | DT_CALCRECT);
  SelectObject(dc, old);
  ReleaseDC(nullptr, dc);
  return {r.right - r.left, r.bottom - r.top};
}

std::string SizeText(SIZE s) { return std::to_string(s.cx) + "x" + std::to_string(s.cy); }

BOOL CALLBACK PrintIfClipped(HWND control, LPARAM font) {
  std::wstring text = WideText(control);
  TextRoom room{};
  if (text.empty() || !IsWindowVisible(control) || !RoomOf(control, &room)) return TRUE;
  SIZE needed = TextSize((HFONT)font, text, room);
  if (needed.cx > room.room.cx || needed.cy > room.room.cy)
    Print(std::to_string(GetDlgCtrlID(control)) + "\t" + ClassOf(control) + "\t" +
          WindowText(control) + "\tneeds " + SizeText(needed) + "\thas " + SizeText(room.room));
  return TRUE;
}

int PrintClipped(HWND window, const DialogFont& dialogFont) {
  if (!IsWindow(window)) return 1;
  g_dpi = dialogFont.dpi > 0 ? dialogFont.dpi : ScreenDpi();
  HFONT font = MakeDialogFont(dialogFont);
  EnumChildWindows(window, PrintIfClipped, (LPARAM)font);
  DeleteObject(font);
  return 0;
}

int PrintRect(HWND window) {
  RECT r{};
  if (!GetWindowRect(window, &r)) return 1;
  Print(std::to_string(r.left) + " " + std::to_string(r.top) + " " + std::to_string(r.right) +
        " " + std::to_string(r.bottom));
  return 0;
}

int Resize(HWND dialog, const char* id, int width, int height) {
  HWND control = Control(dialog, id);
  if (!control) return 1;
  UINT flags = SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE;
  return SetWindowPos(control, nullptr, 0, 0, width, height, flags) ? 0 : 1;
}

DWORD Millis(int argc, char** argv, int index, DWORD fallback) {
  return argc > index ? (DWORD)strtoul(argv[index], nullptr, 10) : fallback;
}

// The program's templates all name "MS Shell Dlg" at 9 points.
DialogFont ClippedFont(int argc, char** argv) {
  DialogFont font{9, L"MS Shell Dlg", 0};
  if (argc > 3) font.points = atoi(argv[3]);
  if (argc > 4) {
    wchar_t face[LF_FACESIZE] = L"";
    MultiByteToWideChar(CP_ACP, 0, argv[4], -1, face, LF_FACESIZE);
    font.face = face;
  }
  if (argc > 5) font.dpi = atoi(argv[5]);
  return font;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  SetProcessDPIAware();
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
  // Posted: a command that opens a modal dialog would hold the driver.
  if (verb == "menu" && argc >= 4)
    return PostMessageA(ParseHandle(argv[2]), WM_COMMAND, MAKEWPARAM(atoi(argv[3]), 0), 0) ? 0 : 1;
  if (verb == "tooltip" && argc >= 3) return PrintTooltip(ParseHandle(argv[2]));
  if (verb == "waitpid" && argc >= 3)
    return WaitProcess((DWORD)strtoul(argv[2], nullptr, 10), Millis(argc, argv, 3, 10000));
  if (verb == "rect" && argc >= 3)
    return PrintRect(argc >= 4 ? Control(ParseHandle(argv[2]), argv[3]) : ParseHandle(argv[2]));
  if (verb == "resize" && argc >= 6)
    return Resize(ParseHandle(argv[2]), argv[3], atoi(argv[4]), atoi(argv[5]));
  if (verb == "clipped" && argc >= 3)
    return PrintClipped(ParseHandle(argv[2]), ClippedFont(argc, argv));
  return 2;
}
