// Reads list views of other processes for the end-to-end tests:
//   listdriver rows <hwnd> <control id>          every row, cells joined by tabs
//   listdriver point <hwnd> <control id> <row>   screen position inside the row's first cell
// Output is UTF-8; exit code 1 when the control or row is missing.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "net/Codecs.h"

namespace {

// A block of memory inside the list's process, for messages that carry pointers.
class RemoteBlock {
 public:
  RemoteBlock(HWND window, size_t size) : m_size(size) {
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    m_process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
    if (m_process)
      m_address = VirtualAllocEx(m_process, nullptr, size, MEM_COMMIT, PAGE_READWRITE);
  }
  ~RemoteBlock() {
    if (m_address) VirtualFreeEx(m_process, m_address, 0, MEM_RELEASE);
    if (m_process) CloseHandle(m_process);
  }
  bool Ok() const { return m_address != nullptr; }
  char* At(size_t offset) const { return static_cast<char*>(m_address) + offset; }
  bool Write(size_t offset, const void* bytes, size_t count) const {
    return WriteProcessMemory(m_process, At(offset), bytes, count, nullptr);
  }
  bool Read(size_t offset, void* bytes, size_t count) const {
    return ReadProcessMemory(m_process, At(offset), bytes, count, nullptr);
  }

 private:
  HANDLE m_process = nullptr;
  void* m_address = nullptr;
  size_t m_size;
};

std::string CellText(HWND list, const RemoteBlock& block, int row, int column) {
  constexpr size_t kText = 1024;
  LVITEMA item{};
  item.iSubItem = column;
  item.cchTextMax = 1000;
  item.pszText = block.At(kText);
  block.Write(0, &item, sizeof item);
  SendMessageA(list, LVM_GETITEMTEXTA, row, (LPARAM)block.At(0));
  char text[1001] = "";
  block.Read(kText, text, 1000);
  return text;
}

int Columns(HWND list) {
  HWND header = (HWND)SendMessageA(list, LVM_GETHEADER, 0, 0);
  return header ? (int)SendMessageA(header, HDM_GETITEMCOUNT, 0, 0) : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) return 2;
  HWND dialog = (HWND)(INT_PTR)strtoll(argv[2], nullptr, 0);
  HWND list = GetDlgItem(dialog, atoi(argv[3]));
  if (!list) return 1;
  RemoteBlock block(list, 4096);
  if (!block.Ok()) return 1;
  const std::string command = argv[1];
  if (command == "rows") {
    const int rows = (int)SendMessageA(list, LVM_GETITEMCOUNT, 0, 0);
    for (int row = 0; row < rows; ++row) {
      std::string line;
      for (int column = 0; column < Columns(list); ++column)
        line += (column ? "\t" : "") + CellText(list, block, row, column);
      line = AnsiToUtf8(line) + "\n";
      fwrite(line.data(), 1, line.size(), stdout);
    }
    return 0;
  }
  if (command == "point" && argc >= 5) {
    RECT rect{};
    rect.left = LVIR_BOUNDS;
    block.Write(0, &rect, sizeof rect);
    if (!SendMessageA(list, LVM_GETITEMRECT, atoi(argv[4]), (LPARAM)block.At(0))) return 1;
    block.Read(0, &rect, sizeof rect);
    POINT centre = {rect.left + 60, (rect.top + rect.bottom) / 2};  // inside the first column
    ClientToScreen(list, &centre);
    printf("%ld %ld\n", centre.x, centre.y);
    return 0;
  }
  return 2;
}
