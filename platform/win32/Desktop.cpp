#include "platform/Desktop.h"

#include <windows.h>
#include <shellapi.h>
#include <shlwapi.h>

#include <vector>

#include "platform/CodePage.h"

namespace platform {
namespace {

UINT IconFlag(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::Warning: return MB_ICONWARNING;
    case MessageIcon::Stop: return MB_ICONSTOP;
    case MessageIcon::Question: return MB_ICONQUESTION;
    case MessageIcon::None: return 0;
    default: return MB_ICONINFORMATION;
  }
}

// Boxes belong to the program's active window, else to the desktop.
HWND Owner() {
  HWND active = GetActiveWindow();
  return active ? active : GetDesktopWindow();
}

bool Ask(const std::string& text, const std::string& caption, UINT defaultButton) {
  UINT style = MB_YESNO | MB_ICONQUESTION | defaultButton | MB_SETFOREGROUND | MB_TOPMOST;
  return MessageBoxA(Owner(), text.c_str(), caption.c_str(), style) == IDYES;
}

class Win32Process final : public IRunningProcess {
 public:
  explicit Win32Process(const PROCESS_INFORMATION& pi) : m_pi(pi) {}
  ~Win32Process() override {
    CloseHandle(m_pi.hThread);
    CloseHandle(m_pi.hProcess);
  }
  void Wait() override { WaitForSingleObject(m_pi.hProcess, INFINITE); }

 private:
  PROCESS_INFORMATION m_pi;
};

// With a program, the system starts that file instead of searching for the
// command line's first word.
std::unique_ptr<IRunningProcess> Start(const std::string& commandLine, WORD show, BOOL inherit,
                                       const std::string& program = std::string()) {
  std::vector<char> line(commandLine.begin(), commandLine.end());
  line.push_back('\0');  // CreateProcessA may write into its command line
  STARTUPINFOA si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESHOWWINDOW;
  si.wShowWindow = show;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessA(program.empty() ? nullptr : program.c_str(), line.data(), nullptr, nullptr,
                      inherit, 0, nullptr, nullptr, &si, &pi))
    return nullptr;
  return std::make_unique<Win32Process>(pi);
}

class Win32Desktop final : public IDesktop {
 public:
  bool AskYesNo(const std::string& text, const std::string& caption) override {
    return Ask(text, caption, MB_DEFBUTTON1);
  }

  bool AskYesNoDefaultNo(const std::string& text, const std::string& caption) override {
    return Ask(text, caption, MB_DEFBUTTON2);
  }

  void ShowMessage(const std::string& text, const std::string& caption, MessageIcon icon,
                   bool systemModal) override {
    UINT style = MB_OK | IconFlag(icon) | MB_SETFOREGROUND | (systemModal ? MB_SYSTEMMODAL : 0);
    MessageBoxA(Owner(), text.c_str(), caption.c_str(), style);
  }

  bool StartProcess(const std::string& commandLine) override {
    return Start(commandLine, SW_SHOWNORMAL, FALSE) != nullptr;
  }

  std::unique_ptr<IRunningProcess> StartHidden(const std::string& commandLine) override {
    return Start(commandLine, SW_HIDE, TRUE);
  }

  bool ShellOpen(const std::string& path, const std::string& parameters) override {
    HINSTANCE r = ShellExecuteA(nullptr, "open", path.c_str(),
                                parameters.empty() ? nullptr : parameters.c_str(), nullptr,
                                SW_SHOWNORMAL);
    return (INT_PTR)r > 32;
  }

  bool ShellOpenHidden(const std::string& path) override {
    return (INT_PTR)ShellExecuteA(nullptr, "open", path.c_str(), nullptr, nullptr, SW_HIDE) > 32;
  }

  bool IsDangerousType(const std::string& path) override {
    const char* ext = PathFindExtensionA(path.c_str());
    if (!ext || !*ext) return false;
    std::u16string wide = AnsiToWide(ext);
    return AssocIsDangerous((LPCWSTR)wide.c_str()) != FALSE;
  }

  bool StartProgram(const std::string& program, const std::string& commandLine) override {
    return Start(commandLine, SW_SHOWNORMAL, FALSE, program) != nullptr;
  }
};

}  // namespace

IDesktop& SystemDesktop() {
  static Win32Desktop desktop;
  return desktop;
}

}  // namespace platform
