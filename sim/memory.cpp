// Global memory: moveable blocks behind handles and their lock counts.
#include <map>
#include <memory>
#include <vector>

#include "sim/faults.h"
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

int LiveBlocks() { return int(State().blocks.size()); }

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
    const sim::faults::Call call(__func__);
    if (call.Fails()) return call.Result<HGLOBAL>();
    Heap& heap = State();
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
    const sim::faults::Call call(__func__);
    if (call.Fails()) return call.Result<LPVOID>();
    Block* block = Find(handle);
    if (!block) return nullptr;
    ++block->locks;
    return block->bytes.data();
}

BOOL WINAPI GlobalUnlock(HGLOBAL handle) {
    const sim::faults::Call call(__func__);
    Block* block = Find(handle);
    if (!block || block->locks == 0) return FALSE;
    --block->locks;
    return block->locks > 0;
}

HGLOBAL WINAPI GlobalFree(HGLOBAL handle) {
    const sim::faults::Call call(__func__);
    if (State().blocks.erase(handle) == 0) return handle;
    return nullptr;
}

}  // extern "C"
