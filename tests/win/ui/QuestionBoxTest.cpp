#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>

#include "platform/Desktop.h"

namespace {

const char kCaption[] = "velmora question box test";

// Asks on this thread while another presses Enter in the box, as a user
// would: the key goes to the control that has the focus, the default button.
bool AnswerWithEnter(const std::function<bool()>& ask) {
  std::atomic<bool> answered{false};
  const DWORD asker = GetCurrentThreadId();
  std::thread user([&] {
    HWND box = nullptr, focus = nullptr;
    for (int i = 0; i < 1000 && !focus && !answered; ++i) {
      box = FindWindowA("#32770", kCaption);
      GUITHREADINFO info{};
      info.cbSize = sizeof info;
      if (box && IsWindowVisible(box) && GetGUIThreadInfo(asker, &info) &&
          IsChild(box, info.hwndFocus))
        focus = info.hwndFocus;
      else
        Sleep(10);
    }
    if (!focus) {
      ADD_FAILURE() << "no box with a focused button";
      if (box) PostMessageA(box, WM_COMMAND, IDNO, 0);  // the asker must not wait for ever
      return;
    }
    PostMessageA(focus, WM_KEYDOWN, VK_RETURN, 0);
    PostMessageA(focus, WM_KEYUP, VK_RETURN, 0);
  });
  bool answer = ask();
  answered = true;
  user.join();
  return answer;
}

TEST(QuestionBox, EnterAcceptsAPlainQuestionAndDeclinesARiskyOne) {
  platform::IDesktop& desktop = platform::SystemDesktop();
  struct Case {
    const char* kind;
    std::function<bool()> ask;
    bool answer;
  } cases[] = {
      // A plain Yes/No box: Enter on the forced update's question updates
      // instead of ending the program.
      {"plain", [&] { return desktop.AskYesNo("发现新版Velmora助手，需要更新后方可使用，是否更新？", kCaption); },
       true},
      // What a web page named is not started by a reflexive Enter.
      {"default No", [&] { return desktop.AskYesNoDefaultNo("网页要求启动以下程序：", kCaption); },
       false},
  };
  for (const Case& c : cases) EXPECT_EQ(c.answer, AnswerWithEnter(c.ask)) << c.kind;
}

}  // namespace
