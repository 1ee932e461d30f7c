#include "midi_out/InputHeaders.h"

#include "midi_out/MidiBackend.h"

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

namespace midi_out {

namespace {
constexpr std::uint8_t SystemExclusive = 0xF0;
constexpr std::uint8_t EndOfExclusive = 0xF7;
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
                  std::uint32_t timestamp, bool forwarded) noexcept
{
    if (callback == nullptr || length == 0 || bytes[0] < 0x80)
        return;
    if (bytes[0] == SystemExclusive) {
        MIDIHDR *header = pool.Take(bytes, length);
        if (header != nullptr) {
            header->dwUser = forwarded ? ForwardedInput : 0;
            callback(handle, MIM_LONGDATA, instance, reinterpret_cast<std::uintptr_t>(header), timestamp);
        } else {
            callback(handle, MIM_LONGERROR, instance, 0, timestamp);
        }
        return;
    }
    if (length > 3)
        return;
    std::uint32_t packed = forwarded ? ForwardedInput : 0;
    for (std::size_t i = 0; i < length; ++i)
        packed |= std::uint32_t{bytes[i]} << (8 * i);
    callback(handle, MIM_DATA, instance, packed, timestamp);
}

bool ThruSlot::Forward(const std::uint8_t *bytes, std::size_t length) noexcept
{
    // Sequentially consistent on both sides: either Set sees this forward
    // under way and waits for it, or the forward sees the new target.
    forwarding_.fetch_add(1);
    ThruTarget *target = target_.load();
    bool sent = false;
    if (target != nullptr && IsThruMessage(bytes, length)) {
        sent = target->Forward(bytes, length);
        // Nothing later may overtake the message the reader now sends: the
        // thru waits until the reader sets it again.
        if (!sent)
            target_.compare_exchange_strong(target, nullptr);
    }
    forwarding_.fetch_sub(1);
    return sent;
}

bool ThruSlot::Set(ThruTarget *target)
{
    target_.store(target);
    // A forward takes microseconds; only a source thread stopped in one holds this up.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(250);
    while (forwarding_.load() != 0) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::yield();
    }
    return true;
}

bool IsThruMessage(const std::uint8_t *bytes, std::size_t length) noexcept
{
    if (length == 0)
        return false;
    const std::uint8_t status = bytes[0];
    if (status == SystemExclusive)
        return length >= 2 && bytes[length - 1] == EndOfExclusive;
    if (status < 0x80 || status >= 0xF0)
        return false;
    // Program Change and Channel Pressure carry one data byte, the others two.
    const std::size_t whole = (status & 0xE0) == 0xC0 ? 2 : 3;
    if (length != whole)
        return false;
    for (std::size_t i = 1; i < length; ++i)
        if (bytes[i] >= 0x80)
            return false;
    return true;
}

} // namespace midi_out
