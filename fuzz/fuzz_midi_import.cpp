// The Standard MIDI File reader on any bytes: it either refuses them with one
// of its own errors or gives a valid recording, never more records than the
// file has bytes for.

#include "FuzzSupport.h"

#include "files/MidiImport.h"
#include "recorder/RecordingStream.h"

#include <span>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    files::MidiImportNotes notes;
    std::vector<std::uint8_t> records;
    try {
        records = files::MidiFileRecords(std::span(data, size), "fuzz.mid", notes);
    } catch (const files::EInvalidMidiFile &) {
        return 0;
    } catch (const files::EMidiFormat2 &) {
        return 0;
    }
    FUZZ_CHECK(records.size() % recorder::RecordedEvent::kSize == 0);
    // An event takes at least two bytes of the file (a delta and a data byte).
    FUZZ_CHECK(records.size() / recorder::RecordedEvent::kSize <= size / 2);
    FUZZ_CHECK(recorder::IsValidRecording(records));
    return 0;
}
