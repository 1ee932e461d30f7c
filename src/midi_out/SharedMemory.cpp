#include "midi_out/SharedMemory.h"

#include <atomic>
#include <cstdlib>

namespace midi_out {

namespace {
std::atomic<unsigned> failNext{0};
std::atomic<unsigned> inUse{0};
} // namespace

void *SharedAlloc(std::uint16_t size, SharedHandle &handle)
{
    handle = 0;
    unsigned pending = failNext.load();
    while (pending > 0) {
        if (failNext.compare_exchange_weak(pending, pending - 1))
            return nullptr;
    }
    // calloc gives the zero-filled block; heap memory never moves, so the
    // handle is simply the block's address.
    void *block = std::calloc(size == 0 ? 1 : size, 1);
    if (block == nullptr)
        return nullptr;
    ++inUse;
    handle = reinterpret_cast<SharedHandle>(block);
    return block;
}

void SharedFree(SharedHandle handle)
{
    if (handle == 0)
        return;
    std::free(reinterpret_cast<void *>(handle));
    --inUse;
}

void SharedAllocFailNext(unsigned count)
{
    failNext = count;
}

unsigned SharedBlocksInUse()
{
    return inUse.load();
}

} // namespace midi_out
