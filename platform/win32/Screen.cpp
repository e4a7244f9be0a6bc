#include "platform/Screen.h"

#include <windows.h>

namespace platform {

int PrimaryScreenWidth() { return GetSystemMetrics(SM_CXSCREEN); }

}  // namespace platform
