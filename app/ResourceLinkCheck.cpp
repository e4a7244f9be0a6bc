#include "app/ResourceLinkCheck.h"

#include <cstring>

#include "net/MbcsText.h"

namespace {

const char* const kDeviceNames[] = {"con", "prn", "aux", "nul", "clock$", "conin$", "conout$"};

// Windows takes a device name with any extension ("nul.txt") as the device.
bool IsDeviceName(const std::string& name) {
  std::string stem = MbcsToLower(name.substr(0, name.find('.')));
  while (!stem.empty() && stem.back() == ' ') stem.pop_back();
  for (const char* device : kDeviceNames)
    if (stem == device) return true;
  // COM1-COM9, LPT1-LPT9, also with the superscript digits ¹²³ the system
  // accepts; those are not GBK characters, so only ASCII digits matter here.
  return stem.size() == 4 && (stem.compare(0, 3, "com") == 0 || stem.compare(0, 3, "lpt") == 0) &&
         stem[3] >= '1' && stem[3] <= '9';
}

// Every single-byte character of `name` passes `allowed`; the two bytes of
// a double-byte character are one letter (a trail byte may equal '\\').
template <typename Allowed>
bool EveryCharacter(const std::string& name, Allowed allowed) {
  for (size_t i = 0; i < name.size(); ++i) {
    unsigned char c = (unsigned char)name[i];
    if (IsGbkLeadByte(c) && i + 1 < name.size()) {
      ++i;
      continue;
    }
    if (!allowed(c)) return false;
  }
  return true;
}

bool IsPlainFileNamePart(const std::string& name) {
  if (name.find("..") != std::string::npos) return false;
  if (!name.empty() && (name.back() == ' ' || name.back() == '.')) return false;
  if (!EveryCharacter(name, [](unsigned char c) {
        return c >= 0x20 && c != 0x7f && !std::strchr("<>:\"/\\|?*", c);
      }))
    return false;
  return name.empty() || !IsDeviceName(name);
}

}  // namespace

bool IsSafeResourceFid(const std::string& fid) {
  return !fid.empty() && IsPlainFileNamePart(fid) &&
         EveryCharacter(fid, [](unsigned char c) { return !std::strchr("&#% ", c); });
}

bool IsSafeResourceFext(const std::string& fext) { return IsPlainFileNamePart(fext); }
