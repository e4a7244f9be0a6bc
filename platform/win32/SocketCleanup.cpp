#include "platform/SocketCleanup.h"

#include <winsock2.h>

namespace platform {

void CleanupSocketLibrary() { WSACleanup(); }

}  // namespace platform
