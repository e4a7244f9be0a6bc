#pragma once
#include <cstdint>
#include <string>

// What placing shortcuts needs of the shell: the user's special folders,
// shell link files, and the file steps around them.
namespace platform {

enum class SpecialFolder { Desktop, StartMenu };

class IShortcutShell {
 public:
  virtual ~IShortcutShell() = default;

  // The user's folder (at most 259 bytes); false when the shell has none.
  virtual bool GetSpecialFolder(SpecialFolder folder, std::string& path) = 0;
  // Writes a shell link file through the component library; a hot key of 0
  // sets none. False when the link object or its file interface cannot be
  // had, or the file cannot be saved.
  virtual bool SaveShellLink(const std::string& target, const std::string& linkFile,
                             const std::string& description, uint16_t hotkey) = 0;
  virtual bool FileExists(const std::string& path) = 0;
  virtual bool RemoveFile(const std::string& path) = 0;
  // Copies a file, replacing one of the same name.
  virtual bool CopyFileOver(const std::string& from, const std::string& to) = 0;
};

// The shell of this platform (one without a desktop has no special folders
// and writes no links).
IShortcutShell& SystemShortcutShell();

}  // namespace platform
