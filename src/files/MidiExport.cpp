#include "files/MidiExport.h"

namespace files {

namespace {

bool hasOneDataByte(std::uint8_t status)
{
    const std::uint8_t kind = status & 0xF0;
    return kind == 0xC0 || kind == 0xD0; // Program Change, Channel Pressure
}

} // namespace

void WriteBlock(common::AtomicFileWriter &file, std::span<const std::uint8_t> block)
{
    file.Write(block.data(), block.size());
}

void WriteBigEndian32(common::AtomicFileWriter &file, std::uint32_t value)
{
    const std::uint8_t bytes[4] = {static_cast<std::uint8_t>(value >> 24),
                                   static_cast<std::uint8_t>(value >> 16),
                                   static_cast<std::uint8_t>(value >> 8),
                                   static_cast<std::uint8_t>(value)};
    file.Write(bytes, sizeof bytes);
}

void WriteTrackEvent(common::AtomicFileWriter &file, std::uint32_t delta, std::uint8_t status,
                     std::uint8_t data1, std::uint8_t data2)
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
    file.Write(bytes, count);
}

void ExportMidiFile(const std::string &fileName, recorder::RecordingStream &stream)
{
    common::AtomicFileWriter file(fileName);
    WriteBlock(file, kMidiHeader);
    WriteBlock(file, kTrackPrelude);

    stream.Seek(0, recorder::SeekOrigin::Begin);
    std::uint32_t previousTick = kFirstEventTick;
    while (const auto event = stream.ReadEvent()) {
        // A tick below the latest one (only in files not made by the
        // recorder) is written at the latest time instead of going back.
        std::uint32_t delta = 0;
        if (event->tick >= previousTick) {
            delta = event->tick - previousTick;
            previousTick = event->tick;
        }
        WriteTrackEvent(file, delta, event->status, event->data1, event->data2);
    }

    WriteBlock(file, kTrackEnd);
    const std::uint64_t trackLength = file.Size() - kTrackDataOffset;
    if (trackLength > 0xFFFFFFFFu)
        throw common::EWriteError();
    file.SeekTo(kTrackLengthOffset);
    WriteBigEndian32(file, static_cast<std::uint32_t>(trackLength));
    file.Commit();
}

} // namespace files
