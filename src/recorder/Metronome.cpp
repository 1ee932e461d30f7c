#include "recorder/Metronome.h"

#include "recorder/DrumPattern.h"

namespace recorder {

void Metronome::SwitchOn(std::uint8_t step)
{
    if (!Runs()) {
        step_ = step;
        beat_ = 0;
    }
    on_ = true;
}

void Metronome::CountIn(std::uint8_t step, std::function<void()> begin)
{
    if (!Runs())
        step_ = step;
    // The count-in is a bar of its own, and the take's first beat begins the
    // next: both accented.
    beat_ = 0;
    countInClicks_ = 0;
    begin_ = std::move(begin);
}

void Metronome::Step()
{
    // The count wraps at 256, a multiple of a beat's steps.
    const std::uint8_t step = step_++;
    if (step % StepsPerBeat != 0 || !Runs())
        return;
    const int beatInBar = beat_;
    beat_ = (beat_ + 1) % BeatsPerBar;
    if (CountsIn()) {
        if (countInClicks_ < BeatsPerBar) {
            ++countInClicks_;
        } else {
            // The take starts on this beat, before its click.
            auto begin = std::move(begin_);
            begin_ = {};
            begin();
            if (!on_)
                return;
        }
    }
    Click(beatInBar);
}

void Metronome::Click(int beatInBar)
{
    Silence();
    const std::uint8_t note = beatInBar == 0 ? AccentNote : BeatNote;
    sink_.SendNote(DrumNoteOn, note, velocity_());
    sounding_ = note;
}

void Metronome::Silence()
{
    if (sounding_ < 0)
        return;
    const auto note = static_cast<std::uint8_t>(sounding_);
    sounding_ = -1;
    sink_.SendNote(DrumNoteOff, note, 0);
}

} // namespace recorder
