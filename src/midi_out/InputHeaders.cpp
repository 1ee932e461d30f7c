#include "midi_out/InputHeaders.h"

#include "midi_out/MidiBackend.h"

#include <atomic>
#include <cstring>

namespace midi_out {

namespace {
constexpr std::uint8_t SystemExclusive = 0xF0;
} // namespace

InputHeaderPool::InputHeaderPool() : data_(new std::uint8_t[Headers * BytesPerHeader])
{
    for (std::size_t i = 0; i < Headers; ++i) {
        headers_[i].lpData = data_.get() + i * BytesPerHeader;
        headers_[i].dwBufferLength = BytesPerHeader;
    }
}

MIDIHDR *InputHeaderPool::Take(const std::uint8_t *bytes, std::size_t length) noexcept
{
    if (length == 0 || length > BytesPerHeader)
        return nullptr;
    for (MIDIHDR &header : headers_) {
        std::uint32_t expected = 0;
        // The reader clears the flags from its thread once it has the bytes.
        if (!std::atomic_ref<std::uint32_t>(header.dwFlags)
                 .compare_exchange_strong(expected, MHDR_INQUEUE, std::memory_order_acquire))
            continue;
        std::memcpy(header.lpData, bytes, length);
        header.dwBytesRecorded = static_cast<std::uint32_t>(length);
        return &header;
    }
    return nullptr;
}

void ReturnInputHeader(MIDIHDR *header) noexcept
{
    if (header != nullptr)
        std::atomic_ref<std::uint32_t>(header->dwFlags).store(0, std::memory_order_release);
}

void DeliverInput(DriverCallbackProc callback, DeviceHandle handle, std::uintptr_t instance,
                  InputHeaderPool &pool, const std::uint8_t *bytes, std::size_t length,
                  std::uint32_t timestamp) noexcept
{
    if (callback == nullptr || length == 0 || bytes[0] < 0x80)
        return;
    if (bytes[0] == SystemExclusive) {
        MIDIHDR *header = pool.Take(bytes, length);
        if (header != nullptr)
            callback(handle, MIM_LONGDATA, instance, reinterpret_cast<std::uintptr_t>(header), timestamp);
        else
            callback(handle, MIM_LONGERROR, instance, 0, timestamp);
        return;
    }
    if (length > 3)
        return;
    std::uint32_t packed = 0;
    for (std::size_t i = 0; i < length; ++i)
        packed |= std::uint32_t{bytes[i]} << (8 * i);
    callback(handle, MIM_DATA, instance, packed, timestamp);
}

} // namespace midi_out
