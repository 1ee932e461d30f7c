// The sound text import on any file: it either fails with one of its own
// errors and leaves the recording as it was, or gives whole Note On / Note
// Off pairs with MIDI values and ticks that never go back.

#include "FuzzSupport.h"

#include "common/FileErrors.h"
#include "common/IntegerConversion.h"
#include "files/SoundTextImport.h"
#include "recorder/RecordingStream.h"

#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string path = fuzz::WriteScratchFile(
        "tones.vnx", std::string_view(reinterpret_cast<const char *>(data), size));

    recorder::RecordingStream stream;
    const recorder::RecordedEvent before{12345, 0xC0, 5, 0};
    stream.WriteEvent(before);
    const auto oldBytes = stream.Bytes();

    try {
        files::ImportSoundText(path, stream);
    } catch (const common::EConvertError &) {
        FUZZ_CHECK(stream.Bytes() == oldBytes);
        return 0;
    } catch (const files::EInvalidOp &) {
        FUZZ_CHECK(stream.Bytes() == oldBytes);
        return 0;
    }

    // At most one tone per three lines, two records per tone.
    FUZZ_CHECK(stream.Size() % (2 * recorder::RecordedEvent::kSize) == 0);
    FUZZ_CHECK(stream.Size() / (2 * recorder::RecordedEvent::kSize) <= size / 3 + 1);
    stream.Seek(0, recorder::SeekOrigin::Begin);
    std::uint32_t lastTick = 0;
    while (const auto on = stream.ReadEvent()) {
        const auto off = stream.ReadEvent();
        FUZZ_CHECK(off.has_value());
        FUZZ_CHECK(on->status == 0x90 && off->status == 0x80);
        FUZZ_CHECK(on->data1 <= 127 && on->data1 == off->data1);
        FUZZ_CHECK(on->data2 >= 1 && on->data2 <= 127 && on->data2 == off->data2);
        FUZZ_CHECK(on->tick >= lastTick && off->tick >= on->tick);
        lastTick = off->tick;
    }
    return 0;
}
