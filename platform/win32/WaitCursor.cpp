#include "platform/WaitCursor.h"

#include <windows.h>

namespace platform {

CWaitCursor::CWaitCursor() : m_hPrevious((intptr_t)SetCursor(LoadCursor(nullptr, IDC_WAIT))) {}

CWaitCursor::~CWaitCursor() { SetCursor((HCURSOR)m_hPrevious); }

}  // namespace platform
