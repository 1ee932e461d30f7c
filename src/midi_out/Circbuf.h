#pragma once
// The input event buffer that the driver callback may fill: a ring of
// BufferedMidiEvent entries. Only the writing side lives here; whoever
// attaches a buffer to a MidiCtlInfo owns it and reads it.

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace midi_out {

struct BufferedMidiEvent {
    std::uint32_t Timestamp;
    std::uint32_t ShortMessage;
    std::uintptr_t LongHeader; // an address: as wide as a pointer
};
static_assert(sizeof(BufferedMidiEvent) == 2 * sizeof(std::uint32_t) + sizeof(void *),
              "12 bytes on a 32-bit build, 16 on a 64-bit one");

struct CircularEventBuffer {
    BufferedMidiEvent *Start;         // first entry of the storage
    BufferedMidiEvent *End;           // one past the last entry
    BufferedMidiEvent *WritePosition; // where the next entry goes
    std::uint16_t Capacity;
    // The reading side lowers it on its own thread, hence atomic.
    std::atomic<std::uint16_t> Count;
    BufferedMidiEvent *ReadPosition; // the reading side's
    // Entries refused because the buffer was full. Counted here as well as
    // announced: the announcement can be lost when the notices pile up.
    std::atomic<std::uint32_t> Lost;
};

// Points `buffer` at `capacity` entries of `storage`, empty.
void InitEventBuffer(CircularEventBuffer &buffer, BufferedMidiEvent *storage, std::uint16_t capacity);

// Appends one entry; false when the buffer is full (nothing changes then).
// Runs on the driver's thread: no lock, no allocation.
bool AppendEvent(CircularEventBuffer &buffer, const BufferedMidiEvent &event) noexcept;

} // namespace midi_out
