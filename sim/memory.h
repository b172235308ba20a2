// Test API of the simulated global heap.
#pragma once

#include <cstddef>

namespace sim::memory {

// The nth GlobalAlloc from now on (1 = the next one) fails.
void FailNthAllocation(int n);
// Every GlobalAlloc from now on fails.
void FailAllAllocations();
// Blocks allocated and not yet freed.
int LiveBlocks();
int AllocationCount();  // GlobalAlloc calls since the reset
// Lock count of the block behind a handle (-1 for an unknown handle).
int LockCount(void* handle);
size_t BlockSize(void* handle);

}  // namespace sim::memory
