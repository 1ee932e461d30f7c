#pragma once
// Test hooks on the shared blocks of the device component: refuse the next
// allocations, count the blocks in use. Installed for every test binary that
// links the test-support library and uses them.

namespace midi_out {

// The next `count` calls of SharedAlloc fail.
void SharedAllocFailNext(unsigned count);
// Blocks allocated and not yet freed.
unsigned SharedBlocksInUse();

} // namespace midi_out
