#include "platform/MemoryRegistry.h"

namespace platform {

// No system registry here: the process keeps its values in memory.
IRegistry& SystemRegistry() {
  static CMemoryRegistry registry;
  return registry;
}

}  // namespace platform
