#pragma once
#include <deque>
#include <functional>
#include <memory>
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
  bool openSucceeds = true;  // what ShellOpen answers

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
  // Recorded in `started` as the program, "|" and the command line.
  bool StartProgram(const std::string& program, const std::string& commandLine) override {
    started.push_back(program + "|" + commandLine);
    return startSucceeds;
  }
  // What a hidden program does while it runs: called with its command line
  // when it is waited for (a stand-in experiment writes its exam file here).
  std::function<void(const std::string&)> hiddenRun;

  // A hidden start is recorded in `started` too, marked "hidden|".
  std::unique_ptr<platform::IRunningProcess> StartHidden(const std::string& commandLine) override {
    struct Scripted final : platform::IRunningProcess {
      Scripted(FakeDesktop& d, std::string l) : desktop(d), line(std::move(l)) {}
      void Wait() override {
        if (desktop.hiddenRun) desktop.hiddenRun(line);
      }
      FakeDesktop& desktop;
      std::string line;
    };
    started.push_back("hidden|" + commandLine);
    if (!startSucceeds) return nullptr;
    return std::make_unique<Scripted>(*this, commandLine);
  }
  // Recorded as the path, then "|" and the parameters when there are any.
  bool ShellOpen(const std::string& path, const std::string& parameters) override {
    opened.push_back(parameters.empty() ? path : path + "|" + parameters);
    return openSucceeds;
  }
  // Recorded in `opened` as "hidden|" and the path.
  bool ShellOpenHidden(const std::string& path) override {
    opened.push_back("hidden|" + path);
    return true;
  }
  bool IsDangerousType(const std::string& path) override {
    for (const auto& ext : dangerousExtensions)
      if (path.size() >= ext.size() && path.compare(path.size() - ext.size(), ext.size(), ext) == 0)
        return true;
    return false;
  }
};
