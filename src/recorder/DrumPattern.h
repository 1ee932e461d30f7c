#pragma once
// The drum accompaniment: a fixed 4-step pattern on MIDI channel 10, one step
// per firing of the drum timer, two steps per beat.

#include "recorder/NoteSink.h"

#include <array>
#include <chrono>
#include <cstdint>

namespace recorder {

inline constexpr std::uint8_t DrumNoteOn = 0x99;
inline constexpr std::uint8_t DrumNoteOff = 0x89;

// One drum of the pattern and the steps (bit n: step n of 4) it sounds on.
struct DrumHit {
    std::uint8_t note;
    std::uint8_t velocity;
    std::uint8_t steps;
};

// General MIDI percussion: bass drum on 0, snare on 2, closed hi-hat on all.
inline constexpr std::array<DrumHit, 3> DrumHits{{
    {36, 127, 0b0001},
    {40, 127, 0b0100},
    {42, 64, 0b1111},
}};

class DrumPattern {
public:
    static constexpr int MinTempo = 1;
    static constexpr int MaxTempo = 300;

    // Milliseconds between two steps at `tempo` beats per minute.
    static constexpr int IntervalMs(int tempo) { return 30000 / tempo; }
    // The same to the microsecond, which the timer keeps without drift.
    static constexpr std::chrono::microseconds Interval(int tempo)
    {
        return std::chrono::microseconds(30'000'000 / tempo);
    }

    // The step starts at 0 with the program and carries on across switching
    // the accompaniment off and on.
    explicit DrumPattern(NoteSink &sink) : sink_(sink) {}

    // The step the next Tick sends; it wraps at 256.
    std::uint8_t Step() const { return step_; }
    // For a pattern that joins a beat kept elsewhere (the metronome's), and
    // for tests.
    void SetStep(std::uint8_t step) { step_ = step; }

    // Sends the current step and moves to the next. Each hit is preceded by
    // a Note Off of the same drum, which ends its previous hit. A failed send
    // leaves the step where it was.
    void Tick();

    // The accompaniment stops: every drum it left on gets its Note Off, since
    // many drum sounds (open hi-hats, loops) hold until then. Each is tried
    // and none counts as on afterwards; the first failure is raised at the end.
    void Silence();
    // The device was silenced as a whole: nothing the pattern sent sounds.
    void Forget() { sounding_ = 0; }

private:
    NoteSink &sink_;
    std::uint8_t step_ = 0;
    // Bit i: DrumHits[i] was hit and not yet ended.
    unsigned sounding_ = 0;
};

} // namespace recorder
