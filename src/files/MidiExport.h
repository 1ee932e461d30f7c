#pragma once
// Standard MIDI File export: format 0, one track, division 10, tempo 500000.
// Recorded ticks become file ticks unchanged: at 10 ticks per half-second
// quarter a file tick lasts 50 ms, as a recorded one does.

#include "recorder/RecordingStream.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace files {

// Header chunk: "MThd", length 6, format 0, one track, 10 ticks per quarter.
inline constexpr std::array<std::uint8_t, 14> kMidiHeader = {
    0x4D, 0x54, 0x68, 0x64, 0x00, 0x00, 0x00, 0x06, 0x00, 0x00, 0x00, 0x01, 0x00, 0x0A};

// Track chunk start with a blank length (patched at kTrackLengthOffset), Set
// Tempo 500000 µs per quarter, and a silent note pair whose Note Off lies at
// time 1; the recorded events follow at their own ticks, those at tick 0 at
// time 1, so that the file opens again as the same recording. Files, peers
// and the converter's users rely on these bytes.
inline constexpr std::array<std::uint8_t, 23> kTrackPrelude = {
    0x4D, 0x54, 0x72, 0x6B, 0x20, 0x20, 0x20, 0x20,
    0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20,
    0x00, 0x90, 0x00, 0x00,
    0x01, 0x80, 0x00, 0x00};

// Where the prelude's Note Off delta lies; version 1.0.0 wrote 0 there.
inline constexpr std::size_t kPreludeNoteOffDeltaOffset = 19;

// End of Track.
inline constexpr std::array<std::uint8_t, 4> kTrackEnd = {0x00, 0xFF, 0x2F, 0x00};

inline constexpr std::uint64_t kTrackLengthOffset = 18;
inline constexpr std::uint64_t kTrackDataOffset = 22;

// The time at which the prelude ends: deltas of the events count from here,
// and an event of an earlier tick lies here.
inline constexpr std::uint32_t kFirstEventTick = 1;

// The largest delta a variable-length quantity of four bytes holds; larger
// gaps are shortened to it, since a Standard MIDI File allows no fifth byte.
inline constexpr std::uint32_t kMaxDelta = 0x0FFFFFFF;

using FileBytes = std::vector<std::uint8_t>;

void WriteBlock(FileBytes &file, std::span<const std::uint8_t> block);

void WriteBigEndian32(FileBytes &file, std::uint32_t value);

// The delta as a variable-length quantity, then status and data1, and data2
// unless the status is a Program Change or Channel Pressure.
void WriteTrackEvent(FileBytes &file, std::uint32_t delta, std::uint8_t status, std::uint8_t data1,
                     std::uint8_t data2);

// The file of the whole recording, read from its start record by record up
// to the first incomplete record; the stream's position stays. Raises
// EWriteError for a track too long for the file's length field.
FileBytes MidiFileBytes(const recorder::RecordingStream &stream);

// Writes MidiFileBytes. Raises EFCreateError or EWriteError; the file
// appears only when it has been written completely.
void ExportMidiFile(const std::string &fileName, const recorder::RecordingStream &stream);

} // namespace files
