#pragma once
// Blocks shared with the driver callback: zero-filled and at a fixed address
// from SharedAlloc until SharedFree.

#include <cstddef>
#include <cstdint>

namespace midi_out {

// Opaque handle of a shared block; 0 means none.
using SharedHandle = std::uintptr_t;

// Returns the block's address and its handle, or null (handle 0) on failure.
void *SharedAlloc(std::uint16_t size, SharedHandle &handle);
// Frees the block of `handle`; a zero handle does nothing.
void SharedFree(SharedHandle handle);

// Where the blocks come from: zero-filled memory of `size` bytes (null when
// there is none) and its release. Replaceable, so that a caller can watch or
// refuse the allocations; returns the one it replaces.
struct SharedAllocator {
    void *(*allocate)(std::size_t size);
    void (*release)(void *block);
};
SharedAllocator SetSharedAllocator(SharedAllocator allocator);

} // namespace midi_out
