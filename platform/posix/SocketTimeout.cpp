#include "platform/SocketTimeout.h"

#include <cerrno>

namespace platform {

// SO_RCVTIMEO ends a receive with EAGAIN (EWOULDBLOCK) here.
bool IsSocketTimeoutError(int sysError) {
  return sysError == EAGAIN || sysError == EWOULDBLOCK || sysError == ETIMEDOUT;
}

}  // namespace platform
