// Test API of the simulated global heap.
#pragma once

#include <cstddef>

namespace sim::memory {

// Blocks allocated and not yet freed.
int LiveBlocks();
// Lock count of the block behind a handle (-1 for an unknown handle).
int LockCount(void* handle);
size_t BlockSize(void* handle);

}  // namespace sim::memory
