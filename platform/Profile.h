#pragma once
#include <cstddef>
#include <string>

// Initialisation (INI) files as the system's profile calls keep them: text in
// the system code page, sections and keys found without regard to case,
// lines ended by "\r\n", new keys appended to their section in the order
// written.
namespace platform {

// Writes `key=value` into `section` of the file, creating the file and the
// section when missing. False when the file cannot be written.
bool WriteProfileText(const std::string& path, const std::string& section, const std::string& key,
                      const std::string& value);

// The value of `key` in `section`, blanks around it removed, at most
// `capacity` - 1 bytes (a buffer of `capacity` bytes); `fallback` when the
// file, the section or the key is missing.
std::string ReadProfileText(const std::string& path, const std::string& section,
                            const std::string& key, const std::string& fallback,
                            size_t capacity = 260);

}  // namespace platform
