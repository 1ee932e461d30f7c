#include "recorder/RecordingStream.h"

#include "common/AtomicFileWriter.h"
#include "common/RegularFile.h"

#include <algorithm>
#include <cstring>

namespace recorder {

using common::EFOpenError;
using common::EReadError;
using common::EStreamError;

std::array<std::uint8_t, RecordedEvent::kSize> RecordedEvent::ToBytes() const
{
    return {static_cast<std::uint8_t>(tick),
            static_cast<std::uint8_t>(tick >> 8),
            static_cast<std::uint8_t>(tick >> 16),
            static_cast<std::uint8_t>(tick >> 24),
            status,
            data1,
            data2};
}

RecordedEvent RecordedEvent::FromBytes(std::span<const std::uint8_t, kSize> bytes)
{
    RecordedEvent event;
    event.tick = static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8
                 | static_cast<std::uint32_t>(bytes[2]) << 16
                 | static_cast<std::uint32_t>(bytes[3]) << 24;
    event.status = bytes[4];
    event.data1 = bytes[5];
    event.data2 = bytes[6];
    return event;
}

bool IsValidRecording(std::span<const std::uint8_t> bytes)
{
    constexpr std::size_t size = RecordedEvent::kSize;
    // Unsigned: the sound text import's ticks reach past the signed range.
    std::uint32_t previous = 0;
    for (std::size_t at = 0; at + size <= bytes.size(); at += size) {
        const auto event = RecordedEvent::FromBytes(bytes.subspan(at).first<size>());
        const std::uint8_t kind = event.status & 0xF0;
        const bool oneDataByte = kind == 0xC0 || kind == 0xD0;
        if (event.status < 0x80 || event.status > 0xEF || event.data1 >= 0x80
            || (!oneDataByte && event.data2 >= 0x80) || event.tick < previous)
            return false;
        previous = event.tick;
    }
    return true;
}

void RecordingStream::Write(const void *data, std::size_t count)
{
    if (count == 0)
        return;
    const std::size_t end = position_ + count;
    if (end > bytes_.size())
        bytes_.resize(end);
    std::memcpy(bytes_.data() + position_, data, count);
    position_ = end;
}

std::size_t RecordingStream::Read(void *buffer, std::size_t count)
{
    if (position_ >= bytes_.size())
        return 0;
    const std::size_t available = std::min(count, bytes_.size() - position_);
    std::memcpy(buffer, bytes_.data() + position_, available);
    position_ += available;
    return available;
}

std::size_t RecordingStream::Seek(std::int64_t offset, SeekOrigin origin)
{
    std::int64_t base = 0;
    switch (origin) {
    case SeekOrigin::Begin:
        base = 0;
        break;
    case SeekOrigin::Current:
        base = static_cast<std::int64_t>(position_);
        break;
    case SeekOrigin::End:
        base = static_cast<std::int64_t>(bytes_.size());
        break;
    }
    const std::int64_t target = base + offset;
    if (target < 0)
        throw EStreamError("Ungültige Stream-Position");
    position_ = static_cast<std::size_t>(target);
    return position_;
}

void RecordingStream::Clear()
{
    bytes_.clear();
    position_ = 0;
}

std::vector<std::uint8_t> RecordingStream::ReadWholeFile(const std::string &fileName)
{
    std::vector<std::uint8_t> content;
    switch (common::ReadRegularFile(fileName, content)) {
    case common::FileRead::Read:
        break;
    case common::FileRead::Failed:
        throw EReadError();
    case common::FileRead::Missing:
    case common::FileRead::NotOpened:
        throw EFOpenError(fileName);
    }
    return content;
}

void RecordingStream::LoadFromFile(const std::string &fileName)
{
    // Into a new buffer, so that a failure leaves the recording as it was.
    std::vector<std::uint8_t> content = ReadWholeFile(fileName);
    if (!IsValidRecording(content))
        throw common::EInvalidRecording(fileName);
    bytes_ = std::move(content);
    position_ = 0;
}

void RecordingStream::SaveToFile(const std::string &fileName) const
{
    common::WriteWholeFile(fileName, bytes_);
}

void RecordingStream::WriteEvent(const RecordedEvent &event)
{
    const auto bytes = event.ToBytes();
    Write(bytes.data(), bytes.size());
}

std::optional<RecordedEvent> RecordingStream::ReadEvent()
{
    std::array<std::uint8_t, RecordedEvent::kSize> bytes{};
    if (Read(bytes.data(), 4) < 4)
        return std::nullopt;
    if (Read(bytes.data() + 4, 3) < 3)
        return std::nullopt;
    return RecordedEvent::FromBytes(bytes);
}

void RecordingStream::Swap(RecordingStream &other) noexcept
{
    bytes_.swap(other.bytes_);
    std::swap(position_, other.position_);
}

} // namespace recorder
