#pragma once
#include <cstddef>

void ResetLargestAllocation();
size_t LargestAllocation();
