#pragma once
// The recording: a growable in-memory byte stream of 7-byte records. The same
// bytes, unchanged, are the native recording file.

#include "common/FileErrors.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace recorder {

// One recorded MIDI message with the tick at which it was sent. Stored as
// tick (unsigned 32-bit little-endian), status, data1, data2: 7 bytes, no gaps.
// Messages with one data byte are stored with data2 = 0.
struct RecordedEvent {
    static constexpr std::size_t kSize = 7;

    std::uint32_t tick = 0;
    std::uint8_t status = 0;
    std::uint8_t data1 = 0;
    std::uint8_t data2 = 0;

    std::array<std::uint8_t, kSize> ToBytes() const;
    static RecordedEvent FromBytes(std::span<const std::uint8_t, kSize> bytes);

    // Playback compares ticks as signed values.
    std::int32_t SignedTick() const { return static_cast<std::int32_t>(tick); }

    friend bool operator==(const RecordedEvent &, const RecordedEvent &) = default;
};

// Whether every whole record is a message the recorder could have sent: a
// channel status (0x80..0xEF), data bytes below 0x80 (the unused third byte
// of a two-byte message aside) and ticks that never go back. A partial last
// record is allowed, as every reader stops at it.
bool IsValidRecording(std::span<const std::uint8_t> bytes);

enum class SeekOrigin { Begin, Current, End };

class RecordingStream {
public:
    // Writes at the position, growing the stream (a gap left by seeking past
    // the end reads as zeros); the position moves behind the written bytes.
    void Write(const void *data, std::size_t count);

    // Reads up to count bytes from the position; returns how many were read.
    std::size_t Read(void *buffer, std::size_t count);

    // Moves the position and returns the new one. A position before the
    // start is refused; one past the end is allowed.
    std::size_t Seek(std::int64_t offset, SeekOrigin origin);

    std::size_t Position() const { return position_; }
    std::size_t Size() const { return bytes_.size(); }
    const std::vector<std::uint8_t> &Bytes() const { return bytes_; }

    // Size 0, position 0.
    void Clear();

    // Replaces the whole content with the file's bytes; position 0. What is
    // not a regular file (a folder, a pipe, a device) cannot be opened
    // (EFOpenError); bytes that are no recording are refused
    // (EInvalidRecording). On any failure the stream is left as it was.
    void LoadFromFile(const std::string &fileName);
    // A file's bytes, whole, with the same failures as LoadFromFile's open.
    static std::vector<std::uint8_t> ReadWholeFile(const std::string &fileName);

    // Writes the whole content, whatever the position. The file appears
    // (or replaces an existing one) only once every byte has been written.
    void SaveToFile(const std::string &fileName) const;

    // Appends a record at the position.
    void WriteEvent(const RecordedEvent &event);

    // Reads the record at the position; empty at the first short read (of
    // the tick or of the three message bytes).
    std::optional<RecordedEvent> ReadEvent();

    void Swap(RecordingStream &other) noexcept;

private:
    std::vector<std::uint8_t> bytes_;
    std::size_t position_ = 0;
};

} // namespace recorder
