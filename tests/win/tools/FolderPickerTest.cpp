#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "platform/FolderPicker.h"

namespace {

// The picker as the user meets it: its title shown, then answered.
struct PickerVisit {
  int answer = IDOK;
  bool found = false;
  bool titleShown = false;
};
PickerVisit g_visit;

BOOL CALLBACK FindTitle(HWND child, LPARAM) {
  char text[256] = "";
  GetWindowTextA(child, text, sizeof text);
  if (std::string(text) == "请选择资源存放的目录：") g_visit.titleShown = true;
  return TRUE;
}

BOOL CALLBACK AnswerPicker(HWND window, LPARAM) {
  char cls[32] = "";
  GetClassNameA(window, cls, sizeof cls);
  if (std::string(cls) != "#32770" || !IsWindowVisible(window)) return TRUE;
  g_visit.found = true;
  EnumChildWindows(window, FindTitle, 0);
  PostMessageA(window, WM_COMMAND, g_visit.answer, 0);
  return FALSE;
}

// Until the picker has appeared, the timer comes back.
void CALLBACK VisitPicker(HWND, UINT, UINT_PTR timer, DWORD) {
  EnumThreadWindows(GetCurrentThreadId(), AnswerPicker, 0);
  if (g_visit.found) KillTimer(nullptr, timer);
}

std::optional<std::string> Pick(const std::string& preset, int answer) {
  g_visit = PickerVisit();
  g_visit.answer = answer;
  SetTimer(nullptr, 0, 700, VisitPicker);
  return platform::SystemFolderPicker().PickFolder("请选择资源存放的目录：", preset);
}

TEST(FolderPickerWin, OpensOnThePresetFolderAndReturnsIt) {
  // A folder that exists long before: one made just now can reach the open
  // picker as a change of the folder tree, which selects its root again.
  char windows[MAX_PATH] = "";
  ASSERT_NE(0u, GetWindowsDirectoryA(windows, sizeof windows));
  const std::string preset = windows;
  std::optional<std::string> chosen = Pick(preset, IDOK);
  EXPECT_TRUE(g_visit.found);
  EXPECT_TRUE(g_visit.titleShown);
  ASSERT_TRUE(chosen.has_value());
  EXPECT_EQ(0, lstrcmpiA(preset.c_str(), chosen->c_str())) << *chosen;
}

TEST(FolderPickerWin, CancelChoosesNothing) {
  EXPECT_FALSE(Pick(std::string(), IDCANCEL).has_value());
  EXPECT_TRUE(g_visit.found);
}

}  // namespace
