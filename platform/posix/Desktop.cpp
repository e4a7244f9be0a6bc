#include "platform/Desktop.h"

namespace platform {
namespace {

// The portable build has no desktop: questions are declined and nothing is
// started or opened, so nothing runs that the user did not see.
class HeadlessDesktop final : public IDesktop {
 public:
  bool AskYesNo(const std::string&, const std::string&) override { return false; }
  void ShowMessage(const std::string&, const std::string&, MessageIcon, bool) override {}
  bool StartProcess(const std::string&) override { return false; }
  std::unique_ptr<IRunningProcess> StartHidden(const std::string&) override { return nullptr; }
  bool ShellOpen(const std::string&, const std::string&) override { return false; }
  bool IsDangerousType(const std::string&) override { return false; }
};

}  // namespace

IDesktop& SystemDesktop() {
  static HeadlessDesktop desktop;
  return desktop;
}

}  // namespace platform
