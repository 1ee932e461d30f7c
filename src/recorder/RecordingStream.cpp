#include "recorder/RecordingStream.h"

#include "common/AtomicFileWriter.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace recorder {

using common::AtomicFileWriter;
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

void RecordingStream::LoadFromFile(const std::string &fileName)
{
    // Not blocking on the open: a pipe without a writer would hang the
    // window here. Only regular files are read; a device or a pipe has no
    // end to read to.
    const int fd = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        throw EFOpenError(fileName);
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        throw EFOpenError(fileName);
    }

    // Read into a new buffer so that a failure leaves the recording as it
    // was; straight into it and in large steps, so that a big file takes the
    // window a moment, not seconds (small reads of a large file cost several
    // times as much). What a file gains meanwhile is read on.
    constexpr std::size_t step = std::size_t{1} << 22;
    std::vector<std::uint8_t> content(static_cast<std::size_t>(info.st_size));
    std::size_t filled = 0;
    std::uint8_t more[1 << 16];
    for (;;) {
        const bool inPlace = filled < content.size();
        std::uint8_t *target = inPlace ? content.data() + filled : more;
        const std::size_t room = inPlace ? std::min(content.size() - filled, step) : sizeof more;
        const ssize_t got = ::read(fd, target, room);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            ::close(fd);
            throw EReadError();
        }
        if (got == 0)
            break;
        if (!inPlace)
            content.insert(content.end(), more, more + got);
        filled += static_cast<std::size_t>(got);
    }
    ::close(fd);
    content.resize(filled); // a file that shrank meanwhile

    bytes_ = std::move(content);
    position_ = 0;
}

void RecordingStream::SaveToFile(const std::string &fileName) const
{
    AtomicFileWriter file(fileName);
    file.Write(bytes_.data(), bytes_.size());
    file.Commit();
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
