#pragma once
#include <cstdint>
#include <string>

// The system registry as the program uses it: string values under the class
// root and the current user. An empty value name is the key's default value.
namespace platform {

enum class RegRoot { ClassesRoot, CurrentUser };

class IRegistry {
 public:
  virtual ~IRegistry() = default;

  // Opens the key for querying values only and reads a string value that,
  // with its terminator, fits into `capacity` bytes. False when the key
  // cannot be opened, the value is missing, not a string or too long.
  virtual bool QueryString(RegRoot root, const std::string& key, const std::string& name,
                           size_t capacity, std::string& value) = 0;
  // Opens the key with all access, or creates it (non-volatile) when it cannot
  // be opened, and sets a string value. False when neither the key nor the
  // value can be had.
  virtual bool SetString(RegRoot root, const std::string& key, const std::string& name,
                         const std::string& text) = 0;
  // As SetString, for a 32-bit number (REG_DWORD).
  virtual bool SetDword(RegRoot root, const std::string& key, const std::string& name,
                        uint32_t number) {
    (void)root, (void)key, (void)name, (void)number;
    return false;
  }
};

// The registry of this platform: the Windows registry, or an in-memory one
// where there is none.
IRegistry& SystemRegistry();

}  // namespace platform
