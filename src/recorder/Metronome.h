#pragma once
// The metronome: a click on every beat, in 4/4 with the first beat of each
// bar accented, on MIDI channel 10 (Hi Wood Block on the first beat, Low Wood
// Block on the others). It runs on the drum timer, two steps to a beat, and
// its clicks go to the device only: a practice aid, never part of the take.
// It also counts in a recording: one bar of four clicks, after which the
// take begins on the next beat.

#include "recorder/NoteSink.h"

#include <cstdint>
#include <functional>

namespace recorder {

class Metronome {
public:
    static constexpr std::uint8_t AccentNote = 76; // Hi Wood Block
    static constexpr std::uint8_t BeatNote = 77;   // Low Wood Block
    static constexpr int BeatsPerBar = 4;
    static constexpr int StepsPerBeat = 2;

    // `sink` sends without recording; `velocity` gives the clicks' velocity
    // when they sound (the volume control's position).
    Metronome(NoteSink &sink, std::function<std::uint8_t()> velocity)
        : sink_(sink), velocity_(std::move(velocity))
    {
    }

    // Clicks on every beat from the next beat on, the first accented. `step`
    // is the drum pattern's next step (even steps are beats), so that the
    // clicks fall on the drums' beats when both run.
    void SwitchOn(std::uint8_t step);
    void SwitchOff() { on_ = false; }
    bool IsOn() const { return on_; }

    // One bar of four clicks from the next beat on; on the beat after them
    // `begin` runs (the take starts there), and the clicks go on only while
    // the metronome is on. `step` as for SwitchOn.
    void CountIn(std::uint8_t step, std::function<void()> begin);
    void CancelCountIn() { begin_ = {}; }
    bool CountsIn() const { return static_cast<bool>(begin_); }

    // Whether the drum timer must run for it.
    bool Runs() const { return on_ || CountsIn(); }
    // The step the next Step takes: drums that join the running clicks
    // start there, so that both keep the same beats.
    std::uint8_t NextStep() const { return step_; }

    // One step of the drum timer. A failed send leaves by its exception;
    // the count goes on.
    void Step();

    // The last click ends (its Note Off), as the clicks stop.
    void Silence();

private:
    void Click(int beatInBar);

    NoteSink &sink_;
    std::function<std::uint8_t()> velocity_;
    std::uint8_t step_ = 0;
    int beat_ = 0; // of the bar, at the next beat
    bool on_ = false;
    std::function<void()> begin_;
    int countInClicks_ = 0;
    int sounding_ = -1; // the note of the click not yet ended
};

} // namespace recorder
