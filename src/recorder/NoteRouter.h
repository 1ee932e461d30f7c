#pragma once
// The note path: every message the program produces, from the keys, the
// MIDI input, playback and the drums, goes out here. It is sent to the
// device first and then, while the transport records, appended to the
// recording at the current tick. The window wires it and observes it; no
// note passes through the window.

#include "recorder/NoteSink.h"
#include "recorder/RecordingStream.h"

#include <cstddef>
#include <cstdint>

namespace midi_out {
class TMidiOutput;
}

namespace recorder {

class Transport;

// What the window learns of the note path.
class NoteObserver {
public:
    // A message is about to reach the device: a device not yet opened since
    // start-up is opened now, so that its instrument goes out first.
    virtual void DeviceNeeded() = 0;
    // The device took a message: it sounds again.
    virtual void Sent() = 0;
    // The recording grew: the take has changed since it was saved.
    virtual void Recorded() = 0;

protected:
    ~NoteObserver() = default;
};

class NoteRouter final : public MessageSink {
public:
    static constexpr std::size_t MaxLongMessage = 65535;

    NoteRouter(midi_out::TMidiOutput &device, RecordingStream &stream, NoteObserver &observer)
        : device_(device), stream_(stream), observer_(observer)
    {
    }

    // The transport whose state decides whether a message is recorded, and
    // whose clock gives its tick; none: nothing is.
    void SetTransport(const Transport *transport) { transport_ = transport; }

    // A failed send leaves by its exception before anything is recorded.
    void SendNote(std::uint8_t status, std::uint8_t data1, std::uint8_t data2) override;
    // To the device only: the recording holds short messages.
    void SendLongMessage(const std::uint8_t *bytes, std::size_t length) override;
    // The device has the message already (MIDI thru): recorded as SendNote would.
    void RecordSent(std::uint8_t status, std::uint8_t data1, std::uint8_t data2) override;

    // The same way to the device, never recorded: for what is no part of a
    // take (the metronome's clicks).
    NoteSink &Unrecorded() { return unrecorded_; }

private:
    class UnrecordedSink final : public NoteSink {
    public:
        explicit UnrecordedSink(NoteRouter &router) : router_(router) {}
        void SendNote(std::uint8_t status, std::uint8_t data1, std::uint8_t data2) override
        {
            router_.SendToDevice(status, data1, data2);
        }

    private:
        NoteRouter &router_;
    };

    void SendToDevice(std::uint8_t status, std::uint8_t data1, std::uint8_t data2);

    midi_out::TMidiOutput &device_;
    RecordingStream &stream_;
    NoteObserver &observer_;
    const Transport *transport_ = nullptr;
    UnrecordedSink unrecorded_{*this};
};

} // namespace recorder
