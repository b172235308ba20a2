// Global memory: moveable blocks behind handles, lock counts, and
// allocations that fail on request.
#include <map>
#include <memory>
#include <vector>

#include "sim/memory.h"
#include "sim/sim.h"
#include "win32/api.h"

namespace {

struct Block {
    std::vector<unsigned char> bytes;
    int locks = 0;
};

struct Heap {
    std::map<void*, std::unique_ptr<Block>> blocks;
    int allocations = 0;
    int failAt = 0;  // allocation number that fails, 0 = none
    bool failAll = false;
    uintptr_t nextHandle = 0x100000;
};

Heap& State() {
    static Heap heap;
    return heap;
}

Block* Find(HGLOBAL handle) {
    auto& blocks = State().blocks;
    auto found = blocks.find(handle);
    return found == blocks.end() ? nullptr : found->second.get();
}

sim::Registration reg([] { State() = Heap{}; });

}  // namespace

namespace sim::memory {

void FailNthAllocation(int n) { State().failAt = State().allocations + n; }
void FailAllAllocations() { State().failAll = true; }
int LiveBlocks() { return int(State().blocks.size()); }
int AllocationCount() { return State().allocations; }

int LockCount(void* handle) {
    Block* block = Find(handle);
    return block ? block->locks : -1;
}

size_t BlockSize(void* handle) {
    Block* block = Find(handle);
    return block ? block->bytes.size() : 0;
}

}  // namespace sim::memory

extern "C" {

HGLOBAL WINAPI GlobalAlloc(UINT flags, size_t size) {
    Heap& heap = State();
    int number = ++heap.allocations;
    if (heap.failAll || number == heap.failAt) {
        sim::Record("GlobalAlloc " + std::to_string(size) + " failed");
        return nullptr;
    }
    auto block = std::make_unique<Block>();
    // Memory that is not asked to be zeroed is not: code that relies on
    // fresh memory being clear shows up.
    block->bytes.assign(size, (flags & GMEM_ZEROINIT) ? 0 : 0xA5);
    void* handle = reinterpret_cast<void*>(heap.nextHandle);
    heap.nextHandle += 0x10;
    heap.blocks[handle] = std::move(block);
    return handle;
}

LPVOID WINAPI GlobalLock(HGLOBAL handle) {
    Block* block = Find(handle);
    if (!block) return nullptr;
    ++block->locks;
    return block->bytes.data();
}

BOOL WINAPI GlobalUnlock(HGLOBAL handle) {
    Block* block = Find(handle);
    if (!block || block->locks == 0) return FALSE;
    --block->locks;
    return block->locks > 0;
}

HGLOBAL WINAPI GlobalFree(HGLOBAL handle) {
    if (State().blocks.erase(handle) == 0) return handle;
    return nullptr;
}

}  // extern "C"
