#pragma once
// The recorder's transport: Stopped, Recording or Playing, driven by the three
// transport buttons and the 50 ms clock. Recording itself happens in the note
// path, which appends while the state is Recording; playback sends every
// recorded event whose tick has come due on each clock tick. The clock need
// not run while the transport is stopped: no tick counted then is ever read.

#include "recorder/NoteSink.h"
#include "recorder/RecordingStream.h"
#include "recorder/SoundingNotes.h"

#include <cstddef>
#include <cstdint>
#include <exception>

namespace recorder {

// CountingIn: "Aufnahme" was pressed with the count-in on; the take begins
// (Recording) after one bar of clicks, and nothing is recorded before.
enum class TransportState { Stopped, CountingIn, Recording, Playing };

// What the transport needs of the window around it; its messages go to the
// note path.
class TransportHost {
public:
    // Re-selects the instrument stored in the settings (Program Change).
    virtual void SelectStoredInstrument() = 0;
    // Silences whatever sounds on the output device, the device kept open
    // where it can be; a device that had to be reopened and did not open
    // shows that on the next note.
    virtual void SilenceDevice() = 0;
    // Unchecks the drum accompaniment, with the effects of a user's change.
    virtual void SwitchDrumsOff() = 0;
    // Puts the button of `state` down without running its action. Every
    // change of state comes through here, and comes before anything the new
    // state sends.
    virtual void ShowTransportState(TransportState state) = 0;
    // A recording ended and its take is closed: the take is whole now.
    virtual void TakeEnded() = 0;
    // Playback sent this message (a note of the take, or the Note Off that
    // ends one it left sounding): for the keys to show it.
    virtual void Played(std::uint8_t /*status*/, std::uint8_t /*data1*/, std::uint8_t /*data2*/) {}

protected:
    ~TransportHost() = default;
};

// Closes a take: each note it switched on and never off gets a Note Off at
// `tick`, appended at the end in SoundingNotes' order. The position is left
// at the end.
void CloseTake(RecordingStream &take, std::uint32_t tick);

// Whatever ends a recording closes the take: each note it switched on and
// never off gets a Note Off at the tick it ends on, so the take never plays a
// hanging note. Whatever ends a playback sends a Note Off for exactly the
// notes that playback switched on and left sounding.
class Transport {
public:
    static constexpr int ClockIntervalMs = 50;
    // A tick sends at most this many events and leaves the rest to the next
    // one, so that a recording with everything on one tick cannot hold the
    // window; the order is kept.
    static constexpr std::size_t MaxEventsPerTick = 512;

    // `stream` is the recording; `sink` the note path.
    Transport(TransportHost &host, NoteSink &sink, RecordingStream &stream)
        : host_(host), sink_(sink), stream_(stream)
    {
    }

    TransportState State() const { return state_; }
    bool IsRecording() const { return state_ == TransportState::Recording; }
    bool IsPlaying() const { return state_ == TransportState::Playing; }
    // Recording counts the clock's ticks and playback is driven by them.
    // A count-in runs on the drum timer: the take's clock starts with it.
    bool NeedsClock() const { return IsRecording() || IsPlaying(); }
    // The take's time: clock ticks since Record or Play. What is recorded
    // now is recorded at this tick.
    std::int32_t Tick() const { return tick_; }
    // Puts the clock at `tick`, as if that many ticks had passed: for a take
    // made up by a test or a benchmark, and for a fuzzer's playback.
    void SetTick(std::int32_t tick) { tick_ = tick; }

    // The actions of the three buttons. Each sets its state first, so that
    // the instrument re-selected by Record is already recorded, and each runs
    // again in full when its state is already set.
    void Record();
    void Play();
    void Stop();
    // "Aufnahme" with the count-in on: the take stays as it is until the
    // count-in ends with Record; Stop meanwhile records nothing.
    void CountIn();
    bool CountsIn() const { return state_ == TransportState::CountingIn; }

    // Playback starts again from the beginning when the take ends, until
    // stopped; the notes each round left sounding end first.
    void SetRepeat(bool repeat) { repeat_ = repeat; }

    // Sets Stopped without running Stop's action, ending a recording or a
    // playback (before a file is opened or saved, and at the program's end).
    void Halt();

    // One clock tick. While playing, sends every due event in stream order;
    // then advances the tick counter. An exhausted stream ends playback
    // instead, without advancing. A failed send leaves at once: the counter
    // stays, the failed event is not sent again, and the next tick goes on
    // with the event after it.
    void ClockTick();

private:
    void EndPlayback();
    void SetState(TransportState state);
    // Ends what the current state left open (see the class comment). A failed
    // send does not stop the rest; the first failure is returned, to be
    // raised once the action has done what it must.
    [[nodiscard]] std::exception_ptr Leave();
    static void RaiseIf(const std::exception_ptr &failure);

    TransportHost &host_;
    NoteSink &sink_;
    RecordingStream &stream_;
    std::int32_t tick_ = 0;
    bool repeat_ = false;
    TransportState state_ = TransportState::Stopped;
    SoundingNotes played_;
};

} // namespace recorder
