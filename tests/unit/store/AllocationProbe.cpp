#include "AllocationProbe.h"

#include <atomic>
#include <cstdlib>
#include <new>

// The test program's own allocator, so that a test can see the largest
// single request that the code under test made.
namespace {
std::atomic<size_t> g_largest{0};
}

void ResetLargestAllocation() { g_largest = 0; }
size_t LargestAllocation() { return g_largest; }

void* operator new(size_t size) {
  size_t seen = g_largest.load();
  while (size > seen && !g_largest.compare_exchange_weak(seen, size)) {
  }
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }
