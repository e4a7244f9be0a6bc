#include "platform/Library.h"

namespace platform {
namespace {

// The plug-ins are Windows libraries: the portable build loads none.
class NoLibraries final : public ILibraryLoader {
 public:
  std::unique_ptr<ILoadedLibrary> Load(const std::string&) override { return nullptr; }
  void* ParentWindow() override { return nullptr; }
};

}  // namespace

ILibraryLoader& SystemLibraries() {
  static NoLibraries libraries;
  return libraries;
}

}  // namespace platform
