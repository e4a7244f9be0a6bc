#pragma once
#include <windows.h>

#include <string>
#include <vector>

// Helpers of the Windows tests: programs of the build tree, child processes
// with an environment of the test's choosing, and files of the prefix.

// A directory of the build tree as Windows names it.
inline std::string BuildPath(const std::string& relative) {
  std::string path = std::string("Z:") + VELMORA_BINARY_DIR + "/" + relative;
  for (char& c : path)
    if (c == '/') c = '\\';
  return path;
}

// This process's environment with APPDATA replaced, as a block for
// CreateProcess.
inline std::vector<char> EnvironmentWithAppData(const std::string& appData) {
  std::vector<char> block;
  char* strings = GetEnvironmentStringsA();
  for (const char* p = strings; *p; p += strlen(p) + 1) {
    if (_strnicmp(p, "APPDATA=", 8) == 0) continue;
    block.insert(block.end(), p, p + strlen(p) + 1);
  }
  FreeEnvironmentStringsA(strings);
  std::string own = "APPDATA=" + appData;
  block.insert(block.end(), own.c_str(), own.c_str() + own.size() + 1);
  block.push_back('\0');
  return block;
}

struct ChildProcess {
  PROCESS_INFORMATION pi{};
  bool started = false;

  bool Start(const std::string& commandLine, std::vector<char>* environment) {
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    STARTUPINFOA si{};
    si.cb = sizeof si;
    started = CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0,
                             environment ? environment->data() : nullptr, nullptr, &si, &pi);
    return started;
  }
  // The exit code, or -1 when the process did not end in time (it is then ended).
  int Wait(DWORD timeoutMs) {
    if (!started) return -1;
    DWORD code = (DWORD)-1;
    if (WaitForSingleObject(pi.hProcess, timeoutMs) != WAIT_OBJECT_0) {
      TerminateProcess(pi.hProcess, 99);
      WaitForSingleObject(pi.hProcess, 5000);
    } else {
      GetExitCodeProcess(pi.hProcess, &code);
    }
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    started = false;
    return (int)code;
  }
  ~ChildProcess() { Wait(0); }
};

struct VisibleWindowSearch {
  DWORD pid;
  bool found;
};

// A window-walk callback: stdcall on 32-bit Windows, which a lambda is not.
inline BOOL CALLBACK NoteVisibleWindowOf(HWND hwnd, LPARAM param) {
  auto* search = reinterpret_cast<VisibleWindowSearch*>(param);
  DWORD owner = 0;
  GetWindowThreadProcessId(hwnd, &owner);
  if (owner == search->pid && IsWindowVisible(hwnd)) search->found = true;
  return !search->found;
}

// Whether a process shows a visible top-level window right now.
inline bool HasVisibleWindow(DWORD processId) {
  VisibleWindowSearch search{processId, false};
  EnumWindows(NoteVisibleWindowOf, (LPARAM)&search);
  return search.found;
}

// Another process holds `path` open for `holdMs`; returns once it has it open.
// It lets others read the file; `how` is "alone" (not even that) or "locked"
// (shared, but every byte locked), as fileholder takes it.
inline bool HoldFile(ChildProcess& holder, const std::string& path, int holdMs,
                     const char* how = "") {
  std::string eventName = "velmora-busy-ready-" + std::to_string(GetCurrentProcessId());
  HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, eventName.c_str());
  std::string line = "\"" + BuildPath("testbed\\fileholder.exe") + "\" \"" + path + "\" " +
                     std::to_string(holdMs) + " " + eventName + (*how ? " " : "") + how;
  bool ok = holder.Start(line, nullptr) && WaitForSingleObject(ready, 10000) == WAIT_OBJECT_0;
  CloseHandle(ready);
  return ok;
}

// The whole content of a file, or nothing when it cannot be read.
inline bool ReadFileBytes(const std::string& path, std::string& bytes) {
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                         nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  bytes.clear();
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(h, buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
  CloseHandle(h);
  return true;
}

inline bool WriteFileBytes(const std::string& path, const std::string& bytes) {
  HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  BOOL ok = WriteFile(h, bytes.data(), (DWORD)bytes.size(), &written, nullptr);
  CloseHandle(h);
  return ok && written == bytes.size();
}

// A file that the test replaces and puts back as it was at the end.
class SavedFile {
 public:
  explicit SavedFile(const std::string& path) : m_path(path) {
    m_bExisted = ReadFileBytes(path, m_bytes);
  }
  ~SavedFile() {
    if (m_bExisted) WriteFileBytes(m_path, m_bytes);
    else DeleteFileA(m_path.c_str());
  }

 private:
  std::string m_path, m_bytes;
  bool m_bExisted = false;
};

// What a shell link file holds; all empty when it cannot be read.
struct ShellLinkInfo {
  std::string target, description;
  WORD hotkey = 0;
};
ShellLinkInfo ReadShellLink(const std::string& linkFile);
inline std::string ShellLinkTarget(const std::string& linkFile) {
  return ReadShellLink(linkFile).target;
}
