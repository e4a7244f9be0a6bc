#include "platform/Policy.h"

namespace platform {

// No machine policy outside Windows: the design's behaviour.
IPolicyStore& MachinePolicyStore() {
  static MemoryPolicyStore store;
  return store;
}

}  // namespace platform
