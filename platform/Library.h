#pragma once
#include <memory>
#include <string>

// Libraries loaded into the program's own process (the resource-browse
// plug-in). Logic takes an ILibraryLoader so that tests can put in exports of
// their own.
namespace platform {

// A loaded library; unloaded when the object ends.
class ILoadedLibrary {
 public:
  virtual ~ILoadedLibrary() = default;
  // The address of an exported function; null when the library has none.
  virtual void* Export(const std::string& name) = 0;
};

class ILibraryLoader {
 public:
  virtual ~ILibraryLoader() = default;
  // Null when the library cannot be loaded.
  virtual std::unique_ptr<ILoadedLibrary> Load(const std::string& path) = 0;
  // The window that a library's own windows take as their parent: the desktop.
  virtual void* ParentWindow() = 0;
};

// The libraries of this platform (none where there is no Windows).
ILibraryLoader& SystemLibraries();

}  // namespace platform
