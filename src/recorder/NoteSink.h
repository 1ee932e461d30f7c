#pragma once
// The one way every source of notes (the keys, the MIDI input, playback, the
// drums) emits a message: the note path below the window, which sends it
// and, while recording, records it.

#include <cstddef>
#include <cstdint>

namespace recorder {

class NoteSink {
public:
    // May raise the device's error; nothing after the failed send runs.
    virtual void SendNote(std::uint8_t status, std::uint8_t data1, std::uint8_t data2) = 0;

protected:
    ~NoteSink() = default;
};

// A sink that also takes the MIDI input's system exclusive: to the device
// as a long message, never recorded; and the input's messages that MIDI thru
// has sent to the device already, to be recorded as if sent here.
class MessageSink : public NoteSink {
public:
    virtual void SendLongMessage(const std::uint8_t *bytes, std::size_t length) = 0;
    virtual void RecordSent(std::uint8_t status, std::uint8_t data1, std::uint8_t data2) = 0;

protected:
    ~MessageSink() = default;
};

} // namespace recorder
