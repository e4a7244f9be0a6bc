#include "platform/Files.h"
#include "platform/ShellLink.h"

namespace platform {
namespace {

// No desktop and no Start menu: nothing to place, so nothing is written.
class HeadlessShortcutShell final : public IShortcutShell {
 public:
  bool GetSpecialFolder(SpecialFolder, std::string&) override { return false; }
  bool SaveShellLink(const std::string&, const std::string&, const std::string&,
                     uint16_t) override {
    return false;
  }
  bool FileExists(const std::string& path) override { return platform::FileExists(path); }
  bool RemoveFile(const std::string& path) override { return DeleteFileAt(path); }
  bool CopyFileOver(const std::string&, const std::string&) override { return false; }
};

}  // namespace

IShortcutShell& SystemShortcutShell() {
  static HeadlessShortcutShell shell;
  return shell;
}

}  // namespace platform
