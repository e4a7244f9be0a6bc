#pragma once
#include <windows.h>

// The status window of a plug-in installation (dialog 130): modeless, the
// desktop as parent, created hidden at start-up and shown while an installer
// works.
class CAddinInstallWindow {
 public:
  CAddinInstallWindow() = default;
  ~CAddinInstallWindow();
  CAddinInstallWindow(const CAddinInstallWindow&) = delete;
  CAddinInstallWindow& operator=(const CAddinInstallWindow&) = delete;

  bool Create();
  // From any thread: the window belongs to the thread that created it, and a
  // worker must not wait on that thread's messages.
  void Show(bool shown);
  HWND Handle() const { return m_hWnd; }

 private:
  HWND m_hWnd = nullptr;
};
