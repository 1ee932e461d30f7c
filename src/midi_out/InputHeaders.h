#pragma once
// What an input back end's thread needs to hand a message to the driver
// callback without allocating or locking: short messages packed, and long
// ones (system exclusive) copied into headers taken from a pool made when
// the input opens. The reader gives a header back with ReturnInputHeader once
// it has the bytes; the pool must outlive every header it handed out, which
// holds when the input is closed (no more callbacks) before the pool goes.

#include "midi_out/MidiDefs.h"

#include <array>
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
// message) is not passed on. Runs on the back end's thread.
void DeliverInput(DriverCallbackProc callback, DeviceHandle handle, std::uintptr_t instance,
                  InputHeaderPool &pool, const std::uint8_t *bytes, std::size_t length,
                  std::uint32_t timestamp) noexcept;

} // namespace midi_out
