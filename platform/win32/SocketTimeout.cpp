#include "platform/SocketTimeout.h"

#include <winsock2.h>

namespace platform {

bool IsSocketTimeoutError(int sysError) { return sysError == WSAETIMEDOUT; }

}  // namespace platform
