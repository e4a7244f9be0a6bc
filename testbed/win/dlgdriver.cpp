// Reads and drives the login, server list and CDN dialogs of another process
// for the end-to-end tests (what the general UI driver cannot reach).
//   dlgdriver rows <hwnd> <list id>               row count, then each row's text
//   dlgdriver rowheight <hwnd> <list id>          height of the first row in pixels
//   dlgdriver select <hwnd> <list id> <row>...    selects exactly these rows
//   dlgdriver enabled <hwnd> <control id>         1 or 0
//   dlgdriver checked <hwnd> <control id>         1 or 0
//   dlgdriver cursel <hwnd> <combo id>            the selected item's index (-1: none)
//   dlgdriver notify <hwnd> <control id> <code>   posts WM_COMMAND(id, code) to the dialog
//   dlgdriver columns <hwnd> <list id>            each column's width in pixels
//   dlgdriver fieldheight <hwnd> <combo id>       height of the combo box's selection field
//   dlgdriver dpi <hwnd> <dpi> <l> <t> <r> <b>    tells the window that its screen's DPI is now
//                                                 <dpi>, suggesting that rectangle (as Windows
//                                                 does when a window moves to another screen)
// Output is UTF-8; exit code 0 on success, 1 when the window or control is missing.
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

HWND Control(const char* dialog, const char* id) {
  return GetDlgItem((HWND)(INT_PTR)strtoll(dialog, nullptr, 0), (int)strtol(id, nullptr, 0));
}

LRESULT Send(HWND h, UINT message, WPARAM wParam, LPARAM lParam) {
  DWORD_PTR result = 0;
  SendMessageTimeoutA(h, message, wParam, lParam, SMTO_ABORTIFHUNG, 5000, &result);
  return (LRESULT)result;
}

// A block of memory in the process that owns a window: list-view messages
// take pointers that must be valid there.
class RemoteBlock {
 public:
  RemoteBlock(HWND owner, size_t size) : m_size(size) {
    DWORD pid = 0;
    GetWindowThreadProcessId(owner, &pid);
    m_process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
    if (m_process)
      m_at = (char*)VirtualAllocEx(m_process, nullptr, size, MEM_COMMIT, PAGE_READWRITE);
  }
  ~RemoteBlock() {
    if (m_at) VirtualFreeEx(m_process, m_at, 0, MEM_RELEASE);
    if (m_process) CloseHandle(m_process);
  }
  char* At() const { return m_at; }
  bool Write(size_t offset, const void* data, size_t size) {
    return WriteProcessMemory(m_process, m_at + offset, data, size, nullptr);
  }
  bool Read(size_t offset, void* data, size_t size) {
    return ReadProcessMemory(m_process, m_at + offset, data, size, nullptr);
  }

 private:
  HANDLE m_process = nullptr;
  char* m_at = nullptr;
  size_t m_size;
};

int Rows(HWND list) {
  int count = (int)Send(list, LVM_GETITEMCOUNT, 0, 0);
  Print(std::to_string(count));
  RemoteBlock block(list, sizeof(LVITEMA) + 512);
  for (int row = 0; row < count; ++row) {
    LVITEMA item = {};
    item.pszText = block.At() + sizeof item;
    item.cchTextMax = 512;
    block.Write(0, &item, sizeof item);
    Send(list, LVM_GETITEMTEXTA, row, (LPARAM)block.At());
    char text[512] = "";
    block.Read(sizeof item, text, sizeof text - 1);
    Print(text);
  }
  return 0;
}

int RowHeight(HWND list) {
  RemoteBlock block(list, sizeof(RECT));
  RECT bounds = {};
  bounds.left = LVIR_BOUNDS;
  block.Write(0, &bounds, sizeof bounds);
  if (!Send(list, LVM_GETITEMRECT, 0, (LPARAM)block.At())) return 1;
  block.Read(0, &bounds, sizeof bounds);
  Print(std::to_string(bounds.bottom - bounds.top));
  return 0;
}

int Columns(HWND list) {
  HWND header = (HWND)Send(list, LVM_GETHEADER, 0, 0);
  int count = header ? (int)Send(header, HDM_GETITEMCOUNT, 0, 0) : 0;
  for (int column = 0; column < count; ++column)
    Print(std::to_string((int)Send(list, LVM_GETCOLUMNWIDTH, column, 0)));
  return 0;
}

// WM_DPICHANGED: the high and low words of wParam are the new DPI, lParam
// points at the suggested window rectangle.
int ChangeDpi(HWND window, int argc, char** argv) {
  if (!IsWindow(window) || argc < 8) return 1;
  int dpi = atoi(argv[3]);
  RECT suggested{atoi(argv[4]), atoi(argv[5]), atoi(argv[6]), atoi(argv[7])};
  RemoteBlock block(window, sizeof suggested);
  if (!block.At() || !block.Write(0, &suggested, sizeof suggested)) return 1;
  Send(window, 0x02E0 /* WM_DPICHANGED */, MAKEWPARAM(dpi, dpi), (LPARAM)block.At());
  return 0;
}

void SetSelected(HWND list, int row, bool selected, RemoteBlock& block) {
  LVITEMA item = {};
  item.stateMask = LVIS_SELECTED;
  item.state = selected ? LVIS_SELECTED : 0;
  block.Write(0, &item, sizeof item);
  Send(list, LVM_SETITEMSTATE, row, (LPARAM)block.At());
}

int Select(HWND list, int argc, char** argv) {
  RemoteBlock block(list, sizeof(LVITEMA));
  SetSelected(list, -1, false, block);  // -1: every row
  for (int i = 4; i < argc; ++i) SetSelected(list, atoi(argv[i]), true, block);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) return 2;
  const std::string verb = argv[1];
  if (verb == "dpi") return ChangeDpi((HWND)(INT_PTR)strtoll(argv[2], nullptr, 0), argc, argv);
  HWND control = Control(argv[2], argv[3]);
  if (!control) return 1;
  if (verb == "rows") return Rows(control);
  if (verb == "rowheight") return RowHeight(control);
  if (verb == "select") return Select(control, argc, argv);
  if (verb == "columns") return Columns(control);
  if (verb == "fieldheight")
    return Print(std::to_string((int)Send(control, CB_GETITEMHEIGHT, (WPARAM)-1, 0))), 0;
  if (verb == "enabled") return Print(IsWindowEnabled(control) ? "1" : "0"), 0;
  if (verb == "checked") return Print(Send(control, BM_GETCHECK, 0, 0) == BST_CHECKED ? "1" : "0"), 0;
  if (verb == "cursel") return Print(std::to_string((int)Send(control, CB_GETCURSEL, 0, 0))), 0;
  if (verb == "notify" && argc >= 5) {
    HWND dialog = GetParent(control);
    WPARAM command = MAKEWPARAM(GetDlgCtrlID(control), (WORD)atoi(argv[4]));
    return PostMessageA(dialog, WM_COMMAND, command, (LPARAM)control) ? 0 : 1;
  }
  return 2;
}
