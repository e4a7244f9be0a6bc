#pragma once
#include <cstdint>
#include <string>

#include "platform/Registry.h"
#include "platform/ShellLink.h"

// The class-root key under which the program handles its URL scheme.
inline constexpr char URL_PROTOCOL_KEY[] = "VelmoraURL";
inline constexpr char URL_COMMAND_KEY[] = "VelmoraURL\\shell\\open\\command";
inline constexpr char URL_ICON_KEY[] = "VelmoraURL\\DefaultIcon";
inline constexpr char URL_PROTOCOL_VALUE[] = "URL Protocol";
// Registry texts are read through a buffer of this many bytes.
inline constexpr size_t REG_TEXT_BUFFER = 260;
// File name of the desktop and Start menu shortcuts.
inline constexpr char SHORTCUT_FILE_NAME[] = "Velmora资源平台助手.lnk";

// A string value (empty name: the key's default) that fits the 260-byte
// buffer; false when the key or the value cannot be read.
bool ReadRegString(platform::IRegistry& registry, platform::RegRoot root, const std::string& key,
                   const std::string& valueName, std::string& text);
// Sets a string value, creating the key when it cannot be opened.
bool WriteRegString(platform::IRegistry& registry, platform::RegRoot root,
                    const std::string& key, const std::string& valueName,
                    const std::string& text);

// The open command of the URL scheme: the quoted program and the quoted URL.
std::string BuildOpenCommand(const std::string& programPath);

// Makes the program at `programPath` the handler of velmoraurl://. Writes
// nothing when the registration already names it (letter case aside). False
// only when the open command cannot be written, typically for a user without
// the right to write the class registry.
bool RegisterUrlProtocol(platform::IRegistry& registry, const std::string& programPath);

// Places the desktop and Start menu shortcuts when the registration is missing
// or names another place (a first run or a moved program). Must run before
// RegisterUrlProtocol, which it reads. Failures are not reported.
void EnsureShortcuts(platform::IRegistry& registry, platform::IShortcutShell& shell,
                     const std::string& programPath);

// Writes a shell link to `target`. The link file is `linkPath` (".lnk" added
// when it lacks one), or the target followed by ".lnk"; the description is the
// target when none is given. False without a target or when the link cannot
// be written.
bool CreateShellLink(platform::IShortcutShell& shell, const std::string& target,
                     const std::string& linkPath, const std::string& description,
                     uint32_t hotkey);
