#pragma once
#include <windows.h>

#include "platform/Registry.h"

namespace platform {

// The Windows registry. The two roots are the system's class root and current
// user; a test may root them in keys of its own instead.
class CWin32Registry final : public IRegistry {
 public:
  CWin32Registry(HKEY classesRoot = HKEY_CLASSES_ROOT, HKEY currentUser = HKEY_CURRENT_USER)
      : m_hClassesRoot(classesRoot), m_hCurrentUser(currentUser) {}

  bool QueryString(RegRoot root, const std::string& key, const std::string& name,
                   size_t capacity, std::string& value) override;
  bool SetString(RegRoot root, const std::string& key, const std::string& name,
                 const std::string& text) override;
  bool SetDword(RegRoot root, const std::string& key, const std::string& name,
                uint32_t number) override;

 private:
  HKEY Root(RegRoot root) const;

  HKEY m_hClassesRoot;
  HKEY m_hCurrentUser;
};

}  // namespace platform
