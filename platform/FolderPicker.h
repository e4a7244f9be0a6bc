#pragma once
#include <optional>
#include <string>

// The system's folder picker, behind a seam so that the commands which use
// it are tested with scripted choices.
namespace platform {

class IFolderPicker {
 public:
  virtual ~IFolderPicker() = default;
  // Shows the picker owned by the desktop under `title`, with `selected`
  // chosen at first (nothing when empty). The chosen folder's path, or
  // nothing when the user cancelled or chose a folder without a path.
  virtual std::optional<std::string> PickFolder(const std::string& title,
                                                const std::string& selected) = 0;
};

IFolderPicker& SystemFolderPicker();

}  // namespace platform
