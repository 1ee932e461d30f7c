// A native recording of any bytes, opened as the open command does (or
// refused when it is none) and exported as the save command does: the
// Standard MIDI File must be well-formed and hold one event per whole record with the recorded times;
// saving it natively gives back the very bytes that were opened.

#include "FuzzSupport.h"

#include "common/FileErrors.h"
#include "files/MidiExport.h"
#include "files/RecordingFiles.h"
#include "recorder/RecordingStream.h"

#include <algorithm>
#include <string_view>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

std::uint32_t ReadVariableLength(const Bytes &file, std::size_t &at)
{
    std::uint32_t value = 0;
    for (int count = 1;; ++count) {
        FUZZ_CHECK(at < file.size());
        FUZZ_CHECK(count <= 4); // a Standard MIDI File allows no fifth byte
        const std::uint8_t byte = file[at++];
        value = value << 7 | (byte & 0x7F);
        if ((byte & 0x80) == 0)
            return value;
        FUZZ_CHECK(count > 1 || byte != 0x80); // as few bytes as the value needs
    }
}

void CheckMidiFile(const Bytes &file, const Bytes &recording)
{
    const std::size_t prelude = files::kMidiHeader.size() + files::kTrackPrelude.size();
    FUZZ_CHECK(file.size() >= prelude + files::kTrackEnd.size());
    FUZZ_CHECK(std::equal(files::kMidiHeader.begin(), files::kMidiHeader.end(), file.begin()));
    const std::size_t length = std::size_t(file[18]) << 24 | std::size_t(file[19]) << 16
                               | std::size_t(file[20]) << 8 | file[21];
    FUZZ_CHECK(length == file.size() - 22);
    FUZZ_CHECK(std::equal(files::kTrackPrelude.begin() + 8, files::kTrackPrelude.end(),
                          file.begin() + 22));

    // The time of each record: the latest tick so far, but never before the
    // end of the prelude; a gap too long for four bytes is shortened.
    std::size_t at = prelude;
    std::uint32_t latestTick = files::kFirstEventTick;
    for (std::size_t record = 0; record + 7 <= recording.size(); record += 7) {
        const std::uint32_t tick = recording[record] | recording[record + 1] << 8
                                   | recording[record + 2] << 16
                                   | std::uint32_t(recording[record + 3]) << 24;
        const std::uint32_t delta = ReadVariableLength(file, at);
        const std::uint32_t expected = tick >= latestTick ? tick - latestTick : 0;
        FUZZ_CHECK(delta == std::min(expected, files::kMaxDelta));
        latestTick = std::max(latestTick, tick);

        const std::uint8_t status = recording[record + 4];
        const bool oneDataByte = (status & 0xF0) == 0xC0 || (status & 0xF0) == 0xD0;
        FUZZ_CHECK(at + (oneDataByte ? 2 : 3) <= file.size());
        FUZZ_CHECK(file[at++] == status);
        FUZZ_CHECK(file[at++] == recording[record + 5]);
        if (!oneDataByte)
            FUZZ_CHECK(file[at++] == recording[record + 6]);
    }
    FUZZ_CHECK(at + files::kTrackEnd.size() == file.size());
    FUZZ_CHECK(std::equal(files::kTrackEnd.begin(), files::kTrackEnd.end(), file.begin() + at));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const Bytes recording(data, data + size);
    const std::string native = fuzz::WriteScratchFile(
        "recording.vsq", std::string_view(reinterpret_cast<const char *>(data), size));

    // Only what the recorder could have written opens: channel messages with
    // data bytes, ticks that never go back; the rest is refused untouched.
    bool valid = true;
    std::uint32_t latest = 0;
    for (std::size_t record = 0; record + 7 <= size; record += 7) {
        const std::uint32_t tick = data[record] | data[record + 1] << 8 | data[record + 2] << 16
                                   | std::uint32_t(data[record + 3]) << 24;
        const std::uint8_t status = data[record + 4];
        const bool oneDataByte = (status & 0xF0) == 0xC0 || (status & 0xF0) == 0xD0;
        valid = valid && status >= 0x80 && status < 0xF0 && data[record + 5] < 0x80
                && (oneDataByte || data[record + 6] < 0x80) && tick >= latest;
        latest = tick;
    }
    recorder::RecordingStream stream;
    try {
        files::OpenRecording(native, stream);
    } catch (const common::EInvalidRecording &) {
        FUZZ_CHECK(!valid && stream.Size() == 0);
        return 0;
    }
    FUZZ_CHECK(valid);
    FUZZ_CHECK(stream.Bytes() == recording);

    const std::string midi = fuzz::ScratchFolder() + "/recording.mid";
    files::SaveRecording(midi, stream);
    const Bytes exported = fuzz::ReadFile(midi);
    CheckMidiFile(exported, recording);

    // Exporting does not change the recording or depend on where it stands.
    stream.Seek(static_cast<std::int64_t>(size / 2), recorder::SeekOrigin::Begin);
    files::SaveRecording(midi, stream);
    FUZZ_CHECK(fuzz::ReadFile(midi) == exported);
    const std::string copy = fuzz::ScratchFolder() + "/copy.vsq";
    files::SaveRecording(copy, stream);
    FUZZ_CHECK(fuzz::ReadFile(copy) == recording);
    return 0;
}
