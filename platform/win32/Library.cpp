#include "platform/Library.h"

#include <windows.h>

namespace platform {
namespace {

class Win32Library final : public ILoadedLibrary {
 public:
  explicit Win32Library(HMODULE module) : m_hModule(module) {}
  ~Win32Library() override { FreeLibrary(m_hModule); }
  void* Export(const std::string& name) override {
    return (void*)GetProcAddress(m_hModule, name.c_str());
  }

 private:
  HMODULE m_hModule;
};

class Win32Libraries final : public ILibraryLoader {
 public:
  std::unique_ptr<ILoadedLibrary> Load(const std::string& path) override {
    HMODULE module = LoadLibraryA(path.c_str());
    if (!module) return nullptr;
    return std::make_unique<Win32Library>(module);
  }
  void* ParentWindow() override { return GetDesktopWindow(); }
};

}  // namespace

ILibraryLoader& SystemLibraries() {
  static Win32Libraries libraries;
  return libraries;
}

}  // namespace platform
