#pragma once
#include <deque>
#include <string>
#include <vector>

#include "platform/Desktop.h"

// A desktop for tests: answers come from a script (No when it runs out), and
// every question, notice, start and open is recorded.
class FakeDesktop final : public platform::IDesktop {
 public:
  std::deque<bool> answers;
  std::vector<std::string> questions, messages, started, opened;
  std::vector<std::string> dangerousExtensions;
  bool startSucceeds = true;

  bool AskYesNo(const std::string& text, const std::string& caption) override {
    questions.push_back(caption + "|" + text);
    if (answers.empty()) return false;
    bool answer = answers.front();
    answers.pop_front();
    return answer;
  }
  void ShowMessage(const std::string& text, const std::string& caption, platform::MessageIcon,
                   bool) override {
    messages.push_back(caption + "|" + text);
  }
  bool StartProcess(const std::string& commandLine) override {
    started.push_back(commandLine);
    return startSucceeds;
  }
  bool ShellOpen(const std::string& path) override {
    opened.push_back(path);
    return true;
  }
  bool IsDangerousType(const std::string& path) override {
    for (const auto& ext : dangerousExtensions)
      if (path.size() >= ext.size() && path.compare(path.size() - ext.size(), ext.size(), ext) == 0)
        return true;
    return false;
  }
};
