#pragma once
// Blocks shared with the driver callback: zero-filled and at a fixed address
// from SharedAlloc until SharedFree.

#include <cstdint>

namespace midi_out {

// Opaque handle of a shared block; 0 means none.
using SharedHandle = std::uintptr_t;

// Returns the block's address and its handle, or null (handle 0) on failure.
void *SharedAlloc(std::uint16_t size, SharedHandle &handle);
// Frees the block of `handle`; a zero handle does nothing.
void SharedFree(SharedHandle handle);

// For tests: the next `count` calls of SharedAlloc fail.
void SharedAllocFailNext(unsigned count);
// For tests: blocks allocated and not yet freed.
unsigned SharedBlocksInUse();

} // namespace midi_out
