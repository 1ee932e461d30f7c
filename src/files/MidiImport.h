#pragma once
// Standard MIDI File import: format 0 and 1, any division (SMPTE included),
// the tempo map of all tracks. The channel messages become records at the
// recording's 50 ms ticks, in the file's order: each event's tick is its
// time from the start in milliseconds / 50, rounded to nearest. System
// Exclusive and meta events are left out (a recording holds channel
// messages only).

#include "common/FileErrors.h"
#include "recorder/RecordingStream.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace files {

// "Datei <name> ist keine gültige MIDI-Datei."
class EInvalidMidiFile : public common::EStreamError {
public:
    explicit EInvalidMidiFile(const std::string &fileName);
};

// "Datei <name> ist eine MIDI-Datei im Format 2, die nicht geöffnet werden kann."
class EMidiFormat2 : public common::EStreamError {
public:
    explicit EMidiFormat2(const std::string &fileName);
};

// What the import left out or found missing, for the user to hear of.
struct MidiImportNotes {
    // System Exclusive messages left out, the standard resets (GM, GM2, GS,
    // XG) not counted.
    std::size_t systemExclusive = 0;
    // The last track ends before its chunk's length: read up to where it ends.
    bool truncated = false;

    // The German texts to tell; none when nothing is missed.
    std::vector<std::string> Texts(const std::string &fileName) const;
};

// The file's channel messages as native records. Raises EInvalidMidiFile or
// EMidiFormat2 naming `fileName`.
std::vector<std::uint8_t> MidiFileRecords(std::span<const std::uint8_t> file, const std::string &fileName,
                                          MidiImportNotes &notes);

// Replaces the recording with the file's records; on failure the recording
// stays as it was.
MidiImportNotes ImportMidiFile(const std::string &fileName, recorder::RecordingStream &stream);

} // namespace files
