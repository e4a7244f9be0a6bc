#include "platform/FolderPicker.h"

namespace platform {
namespace {

// Without a desktop shell there is no picker: every choice is cancelled.
class CNoFolderPicker final : public IFolderPicker {
 public:
  std::optional<std::string> PickFolder(const std::string&, const std::string&) override {
    return std::nullopt;
  }
};

}  // namespace

IFolderPicker& SystemFolderPicker() {
  static CNoFolderPicker picker;
  return picker;
}

}  // namespace platform
