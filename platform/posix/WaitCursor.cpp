#include "platform/WaitCursor.h"

namespace platform {

// No pointer to change without a desktop.
CWaitCursor::CWaitCursor() = default;
CWaitCursor::~CWaitCursor() = default;

}  // namespace platform
