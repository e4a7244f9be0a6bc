#pragma once
#include <memory>
#include <string>

// What command logic asks of the user's desktop: questions and notices,
// starting programs and opening files. Logic takes an IDesktop so that tests
// can script the answers and observe what would have been started.
namespace platform {

enum class MessageIcon { Information, Warning, Stop, Question, None };

// A program started by the desktop; ends when the object ends (the program
// runs on).
class IRunningProcess {
 public:
  virtual ~IRunningProcess() = default;
  // Blocks until the program has ended, without a time limit.
  virtual void Wait() = 0;
};

class IDesktop {
 public:
  virtual ~IDesktop() = default;

  // Yes/No question with a question icon; Yes is the default button, as in
  // a plain box, so Enter answers Yes.
  virtual bool AskYesNo(const std::string& text, const std::string& caption) = 0;
  // The same with No as the default button: for a question whose Yes runs or
  // opens what a web page named, which a reflexive Enter must not accept.
  virtual bool AskYesNoDefaultNo(const std::string& text, const std::string& caption) {
    return AskYesNo(text, caption);
  }
  // A notice with one OK button; system-modal notices stay above every window.
  virtual void ShowMessage(const std::string& text, const std::string& caption,
                           MessageIcon icon, bool systemModal) = 0;
  // Starts a process from a complete command line, shown normally, not waited for.
  virtual bool StartProcess(const std::string& commandLine) = 0;
  // Starts a process from a complete command line with a hidden window and
  // inherited handles; null when it cannot be started.
  virtual std::unique_ptr<IRunningProcess> StartHidden(const std::string& commandLine) = 0;
  // Asks the shell to "open" a file, folder or address, shown normally, with
  // the given parameters (none when empty).
  virtual bool ShellOpen(const std::string& path, const std::string& parameters = "") = 0;
  // Asks the shell to "open" a program with its window hidden, without
  // parameters, not waited for.
  virtual bool ShellOpenHidden(const std::string& path) {
    (void)path;
    return false;
  }
  // The system's own judgement whether opening a file of this type runs code.
  virtual bool IsDangerousType(const std::string& path) = 0;
  // Starts the program at a full path (nothing is searched for it) with a
  // complete command line, shown normally, not waited for.
  virtual bool StartProgram(const std::string& program, const std::string& commandLine) {
    (void)program, (void)commandLine;
    return false;
  }
};

// The real desktop of this platform.
IDesktop& SystemDesktop();

}  // namespace platform
