#include "midi_out/Circbuf.h"

namespace midi_out {

void InitEventBuffer(CircularEventBuffer &buffer, BufferedMidiEvent *storage, std::uint16_t capacity)
{
    buffer.Start = storage;
    buffer.End = storage + capacity;
    buffer.WritePosition = storage;
    buffer.ReadPosition = storage;
    buffer.Capacity = capacity;
    buffer.Count.store(0, std::memory_order_relaxed);
    buffer.Lost.store(0, std::memory_order_relaxed);
}

bool AppendEvent(CircularEventBuffer &buffer, const BufferedMidiEvent &event) noexcept
{
    if (buffer.Count.load(std::memory_order_acquire) >= buffer.Capacity)
        return false;
    // The entry is written before the count tells the reader it is there.
    *buffer.WritePosition = event;
    if (++buffer.WritePosition == buffer.End)
        buffer.WritePosition = buffer.Start;
    buffer.Count.fetch_add(1, std::memory_order_release);
    return true;
}

} // namespace midi_out
