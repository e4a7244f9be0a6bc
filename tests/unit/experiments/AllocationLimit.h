#pragma once
#include <cstddef>

// While set (not 0), a single allocation of more bytes than the limit fails
// as it does in a 32-bit process whose address space is used up.
void SetAllocationLimit(size_t bytes);
