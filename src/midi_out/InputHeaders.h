#pragma once
// What an input back end's thread needs to hand a message to the driver
// callback without allocating or locking: short messages packed, and long
// ones (system exclusive) copied into headers taken from a pool made when
// the input opens. The reader gives a header back with ReturnInputHeader once
// it has the bytes; the pool must outlive every header it handed out, which
// holds when the input is closed (no more callbacks) before the pool goes.

#include "midi_out/MidiBackend.h"
#include "midi_out/MidiDefs.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace midi_out {

class InputHeaderPool {
public:
    static constexpr std::size_t Headers = 16;
    static constexpr std::size_t BytesPerHeader = 4096;

    InputHeaderPool();
    InputHeaderPool(const InputHeaderPool &) = delete;
    InputHeaderPool &operator=(const InputHeaderPool &) = delete;

    // A free header holding a copy of the bytes, marked taken; null when the
    // message is too long or every header is still with the reader.
    MIDIHDR *Take(const std::uint8_t *bytes, std::size_t length) noexcept;

private:
    std::array<MIDIHDR, Headers> headers_{};
    std::unique_ptr<std::uint8_t[]> data_;
};

// The reader is done with a header from a pool.
void ReturnInputHeader(MIDIHDR *header) noexcept;

// Hands one complete message that arrived to `callback`: a short message as
// MIM_DATA, system exclusive through `pool` as MIM_LONGDATA (MIM_LONGERROR
// when the pool cannot take it). Anything else (a stray data byte, an empty
// message) is not passed on. `forwarded`: the back end has sent it on to a
// device already, and the message is marked ForwardedInput. Runs on the back
// end's thread.
void DeliverInput(DriverCallbackProc callback, DeviceHandle handle, std::uintptr_t instance,
                  InputHeaderPool &pool, const std::uint8_t *bytes, std::size_t length,
                  std::uint32_t timestamp, bool forwarded = false) noexcept;

// A source's MIDI thru to another back end's device. The source's thread
// forwards through it; another thread sets or ends it, and once Set has
// returned the target it replaced is no longer used. A message the target
// refuses ends the thru, so that none after it goes ahead of it.
class ThruSlot {
public:
    // The source's thread: true when the message went to the target.
    bool Forward(const std::uint8_t *bytes, std::size_t length) noexcept;
    // False when a forward under way did not end within the bound (a source
    // thread stopped in the middle of it): the old target must then stay.
    bool Set(ThruTarget *target);
    bool Has() const { return target_.load() != nullptr; }

private:
    std::atomic<ThruTarget *> target_{nullptr};
    std::atomic<int> forwarding_{0};
};

// Whether MIDI thru sends the message on: one whole channel message, or one
// whole system exclusive message. Real time, system common and anything cut
// are left to the reader, which drops them.
bool IsThruMessage(const std::uint8_t *bytes, std::size_t length) noexcept;

} // namespace midi_out
