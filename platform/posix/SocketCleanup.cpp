#include "platform/SocketCleanup.h"

namespace platform {

// BSD sockets need no library start, so there is nothing to end.
void CleanupSocketLibrary() {}

}  // namespace platform
