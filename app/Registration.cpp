#include "app/Registration.h"

#include <algorithm>

#include "net/MbcsText.h"

using platform::RegRoot;

namespace {

const char kProtocolDescription[] = "Velmora URL Protocol";

// The program's path as the class registry last recorded it.
bool ReadRegisteredPath(platform::IRegistry& registry, std::string& path) {
  return ReadRegString(registry, RegRoot::ClassesRoot, URL_PROTOCOL_KEY, URL_PROTOCOL_VALUE, path);
}

std::string WithoutQuotes(const std::string& text) {
  std::string out;
  for (char c : text)
    if (c != '"') out += c;
  return out;
}

// Copies the link into one of the user's folders; a folder the shell cannot
// name is skipped, so the link never lands at the root of a drive.
void PlaceShortcut(platform::IShortcutShell& shell, platform::SpecialFolder folder,
                   const std::string& link) {
  std::string dir;
  if (!shell.GetSpecialFolder(folder, dir)) return;
  shell.CopyFileOver(link, dir + "\\" + SHORTCUT_FILE_NAME);
}

}  // namespace

bool ReadRegString(platform::IRegistry& registry, RegRoot root, const std::string& key,
                   const std::string& valueName, std::string& text) {
  return registry.QueryString(root, key, valueName, REG_TEXT_BUFFER, text);
}

bool WriteRegString(platform::IRegistry& registry, RegRoot root, const std::string& key,
                    const std::string& valueName, const std::string& text) {
  return registry.SetString(root, key, valueName, text);
}

std::string BuildOpenCommand(const std::string& programPath) {
  return "\"" + programPath + "\" \"%1\"";
}

bool RegisterUrlProtocol(platform::IRegistry& registry, const std::string& programPath) {
  const std::string command = BuildOpenCommand(programPath);
  std::string registeredPath, registeredCommand;
  // The command is read with room for the one expected: a long program path
  // must not look unregistered, or a user without write rights could never
  // start the program again.
  const size_t commandRoom = std::max(REG_TEXT_BUFFER, command.size() + 1);
  if (ReadRegisteredPath(registry, registeredPath) &&
      registry.QueryString(RegRoot::ClassesRoot, URL_COMMAND_KEY, "", commandRoom,
                           registeredCommand) &&
      MbcsEqualNoCase(registeredPath, programPath) && MbcsEqualNoCase(registeredCommand, command))
    return true;
  // Only the open command decides: the shell needs nothing else to start us.
  if (!WriteRegString(registry, RegRoot::ClassesRoot, URL_COMMAND_KEY, "", command)) return false;
  WriteRegString(registry, RegRoot::ClassesRoot, URL_PROTOCOL_KEY, "", kProtocolDescription);
  WriteRegString(registry, RegRoot::ClassesRoot, URL_PROTOCOL_KEY, URL_PROTOCOL_VALUE, programPath);
  WriteRegString(registry, RegRoot::ClassesRoot, URL_ICON_KEY, "", programPath);
  return true;
}

void EnsureShortcuts(platform::IRegistry& registry, platform::IShortcutShell& shell,
                     const std::string& programPath) {
  std::string registeredPath;
  if (ReadRegisteredPath(registry, registeredPath) && MbcsEqualNoCase(registeredPath, programPath))
    return;
  const std::string target = WithoutQuotes(programPath);
  if (target.empty()) return;
  // The link is made beside the program, then copied under its shortcut name.
  const std::string link = target + ".lnk";
  if (shell.FileExists(link)) shell.RemoveFile(link);
  CreateShellLink(shell, target, "", "", 0);
  PlaceShortcut(shell, platform::SpecialFolder::Desktop, link);
  PlaceShortcut(shell, platform::SpecialFolder::StartMenu, link);
  shell.RemoveFile(link);
}

bool CreateShellLink(platform::IShortcutShell& shell, const std::string& target,
                     const std::string& linkPath, const std::string& description,
                     uint32_t hotkey) {
  if (target.empty()) return false;
  std::string linkFile = linkPath.empty() ? target + ".lnk" : linkPath;
  if (!linkPath.empty() && linkPath.find(".lnk", 1) == std::string::npos) linkFile += ".lnk";
  return shell.SaveShellLink(target, linkFile, description.empty() ? target : description,
                             (uint16_t)(hotkey & 0xFFFF));
}
