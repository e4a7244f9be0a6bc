#include "AllocationLimit.h"

#include <atomic>
#include <cstdlib>
#include <new>

// The test program's own allocator, so that a test can let large requests fail.
namespace {
std::atomic<size_t> g_limit{0};
}

void SetAllocationLimit(size_t bytes) { g_limit = bytes; }

void* operator new(size_t size) {
  const size_t limit = g_limit.load();
  if (limit != 0 && size > limit) throw std::bad_alloc();
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }
