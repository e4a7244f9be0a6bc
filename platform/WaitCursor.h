#pragma once
#include <cstdint>

namespace platform {

// Shows the wait cursor for its life and restores the previous one.
class CWaitCursor {
 public:
  CWaitCursor();
  ~CWaitCursor();
  CWaitCursor(const CWaitCursor&) = delete;
  CWaitCursor& operator=(const CWaitCursor&) = delete;

 private:
  intptr_t m_hPrevious = 0;
};

}  // namespace platform
