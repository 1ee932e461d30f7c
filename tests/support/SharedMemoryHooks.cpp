#include "support/SharedMemoryHooks.h"

#include "midi_out/SharedMemory.h"

#include <atomic>

namespace midi_out {

namespace {

std::atomic<unsigned> failNext{0};
std::atomic<unsigned> inUse{0};
SharedAllocator original{};

void *CountingAllocate(std::size_t size)
{
    unsigned pending = failNext.load();
    while (pending > 0) {
        if (failNext.compare_exchange_weak(pending, pending - 1))
            return nullptr;
    }
    void *block = original.allocate(size);
    if (block != nullptr)
        ++inUse;
    return block;
}

void CountingRelease(void *block)
{
    original.release(block);
    --inUse;
}

// Before main, so that every block of the test is counted from its start.
const bool installed = [] {
    original = SetSharedAllocator({&CountingAllocate, &CountingRelease});
    return true;
}();

} // namespace

void SharedAllocFailNext(unsigned count)
{
    failNext = count;
}

unsigned SharedBlocksInUse()
{
    return inUse.load();
}

} // namespace midi_out
