#include "platform/Screen.h"

namespace platform {

// The portable build has no display; a common desktop width stands in.
int PrimaryScreenWidth() { return 1280; }

}  // namespace platform
