#include "midi_out/SharedMemory.h"

#include <atomic>
#include <cstdlib>

namespace midi_out {

namespace {

// calloc gives the zero-filled block; heap memory never moves, so the handle
// is simply the block's address.
void *HeapAllocate(std::size_t size)
{
    return std::calloc(size, 1);
}

void HeapRelease(void *block)
{
    std::free(block);
}

std::atomic<void *(*)(std::size_t)> allocate{&HeapAllocate};
std::atomic<void (*)(void *)> release{&HeapRelease};

} // namespace

void *SharedAlloc(std::uint16_t size, SharedHandle &handle)
{
    handle = 0;
    void *block = allocate.load()(size == 0 ? 1 : size);
    if (block != nullptr)
        handle = reinterpret_cast<SharedHandle>(block);
    return block;
}

void SharedFree(SharedHandle handle)
{
    if (handle != 0)
        release.load()(reinterpret_cast<void *>(handle));
}

SharedAllocator SetSharedAllocator(SharedAllocator allocator)
{
    return {allocate.exchange(allocator.allocate), release.exchange(allocator.release)};
}

} // namespace midi_out
