#pragma once

namespace platform {

// The socket error number says a send or receive ran into its time-out.
bool IsSocketTimeoutError(int sysError);

}  // namespace platform
