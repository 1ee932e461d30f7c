#include "files/MidiExport.h"

#include "common/AtomicFileWriter.h"
#include "common/FileErrors.h"

#include <algorithm>

namespace files {

namespace {

bool hasOneDataByte(std::uint8_t status)
{
    const std::uint8_t kind = status & 0xF0;
    return kind == 0xC0 || kind == 0xD0; // Program Change, Channel Pressure
}

} // namespace

void WriteBlock(FileBytes &file, std::span<const std::uint8_t> block)
{
    file.insert(file.end(), block.begin(), block.end());
}

void WriteBigEndian32(FileBytes &file, std::uint32_t value)
{
    const std::uint8_t bytes[4] = {static_cast<std::uint8_t>(value >> 24),
                                   static_cast<std::uint8_t>(value >> 16),
                                   static_cast<std::uint8_t>(value >> 8),
                                   static_cast<std::uint8_t>(value)};
    WriteBlock(file, bytes);
}

void WriteTrackEvent(FileBytes &file, std::uint32_t delta, std::uint8_t status, std::uint8_t data1,
                     std::uint8_t data2)
{
    if (delta > kMaxDelta)
        delta = kMaxDelta;

    // 7 bits per byte, most significant group first, bit 7 set on all but
    // the last byte; 4 bytes of delta and 3 of message at most.
    std::uint8_t bytes[7];
    std::size_t count = 0;
    for (int shift = 21; shift > 0; shift -= 7) {
        if (count > 0 || (delta >> shift) != 0)
            bytes[count++] = static_cast<std::uint8_t>(0x80 | ((delta >> shift) & 0x7F));
    }
    bytes[count++] = static_cast<std::uint8_t>(delta & 0x7F);

    bytes[count++] = status;
    bytes[count++] = data1;
    if (!hasOneDataByte(status))
        bytes[count++] = data2;
    WriteBlock(file, std::span(bytes, count));
}

FileBytes MidiFileBytes(const recorder::RecordingStream &stream)
{
    using recorder::RecordedEvent;
    const std::span<const std::uint8_t> records(stream.Bytes());
    FileBytes file;
    // An event takes at most as many bytes as its record.
    file.reserve(kMidiHeader.size() + kTrackPrelude.size() + records.size() + kTrackEnd.size());
    WriteBlock(file, kMidiHeader);
    WriteBlock(file, kTrackPrelude);

    std::uint32_t previousTick = kFirstEventTick;
    for (std::size_t at = 0; at + RecordedEvent::kSize <= records.size(); at += RecordedEvent::kSize) {
        const auto event = RecordedEvent::FromBytes(records.subspan(at).first<RecordedEvent::kSize>());
        // A tick below the latest one (only in files not made by the
        // recorder) is written at the latest time instead of going back.
        std::uint32_t delta = 0;
        if (event.tick >= previousTick) {
            delta = event.tick - previousTick;
            previousTick = event.tick;
        }
        WriteTrackEvent(file, delta, event.status, event.data1, event.data2);
    }

    WriteBlock(file, kTrackEnd);
    const std::uint64_t trackLength = file.size() - kTrackDataOffset;
    if (trackLength > 0xFFFFFFFFu)
        throw common::EWriteError();
    FileBytes length;
    WriteBigEndian32(length, static_cast<std::uint32_t>(trackLength));
    std::copy(length.begin(), length.end(), file.begin() + kTrackLengthOffset);
    return file;
}

void ExportMidiFile(const std::string &fileName, const recorder::RecordingStream &stream)
{
    common::WriteWholeFile(fileName, MidiFileBytes(stream));
}

} // namespace files
