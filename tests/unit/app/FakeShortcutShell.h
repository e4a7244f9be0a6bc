#pragma once
#include <map>
#include <string>
#include <vector>

#include "platform/ShellLink.h"

// A shell for tests: files live in a map, every link and copy is recorded.
class FakeShortcutShell final : public platform::IShortcutShell {
 public:
  struct Link {
    std::string target, file, description;
    uint16_t hotkey;
  };
  std::map<std::string, std::string> files;  // path -> what it holds
  std::map<platform::SpecialFolder, std::string> folders = {
      {platform::SpecialFolder::Desktop, "C:\\users\\u\\Desktop"},
      {platform::SpecialFolder::StartMenu, "C:\\users\\u\\Start Menu"}};
  std::vector<Link> links;
  std::vector<std::string> copies;  // "from -> to"
  bool linksFail = false;

  bool GetSpecialFolder(platform::SpecialFolder folder, std::string& path) override {
    auto it = folders.find(folder);
    if (it == folders.end()) return false;
    path = it->second;
    return true;
  }
  bool SaveShellLink(const std::string& target, const std::string& linkFile,
                     const std::string& description, uint16_t hotkey) override {
    links.push_back({target, linkFile, description, hotkey});
    if (linksFail) return false;
    files[linkFile] = "link to " + target;
    return true;
  }
  bool FileExists(const std::string& path) override { return files.count(path) != 0; }
  bool RemoveFile(const std::string& path) override { return files.erase(path) != 0; }
  bool CopyFileOver(const std::string& from, const std::string& to) override {
    copies.push_back(from + " -> " + to);
    auto it = files.find(from);
    if (it == files.end()) return false;
    files[to] = it->second;
    return true;
  }
};
