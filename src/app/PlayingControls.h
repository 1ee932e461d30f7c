#pragma once
// The handlers of what the keys and the drums play by: tempo, transposition,
// volume, the drums check box, instrument, channel and velocity by position;
// and of the practice items: the metronome, the count-in, repeated playback.
// Each change goes into the playing state and the settings file; at start the
// stored values come back into the controls.

#include "app/DistinctFailures.h"

#include <cstdint>
#include <functional>

namespace performance {
struct PlayingState;
}
namespace recorder {
class DrumPattern;
class Metronome;
class NoteRouter;
class Transport;
}

namespace app {

struct MainControls;
class MainMenu;
class RepeatedFailureGate;
class SettingsWriter;

class PlayingControls {
public:
    struct Parts {
        const MainControls &controls;
        MainMenu &menus;
        performance::PlayingState &playing;
        SettingsWriter &settings;
        recorder::NoteRouter &notes;
        recorder::DrumPattern &drums;
        recorder::Metronome &metronome;
        recorder::Transport &transport;
        // The device's failures met by the drums; the user's act rearms it.
        RepeatedFailureGate &failures;
    };
    explicit PlayingControls(Parts parts) : parts_(parts) {}

    int Tempo() const;
    int Transposition() const;
    int Volume() const;
    bool VelocityByPosition() const;
    bool CountInOn() const;

    // The controls call these on every change.
    void TempoChanged();
    void TranspositionChanged();
    void DrumsClicked();
    void VolumeChanged();
    // Through the spin buttons: kept within range, shown and stored.
    void MoveTransposition(int semitones);

    void InstrumentClick(int program);
    // Performs the click of the instrument item with that program number; a
    // number without one does nothing.
    void SelectInstrument(int program);
    void SelectStoredInstrument();
    // The keys and the instrument go to `channel` from now on; notes and a
    // pedal held meanwhile end on the channel that started them.
    void ChannelClick(int channel);
    void VelocityByPositionClick();
    void MetronomeClick();
    void CountInClick();
    void RepeatClick();

    // One bar of clicks on the drum timer, then `begin` on the next beat.
    void StartCountIn(std::function<void()> begin);
    // The drum timer runs while the drums or the metronome need it; the
    // metronome's last click ends when it stops clicking.
    void RunDrumTimerAsNeeded();

    // The clock runs while the transport or the drums need it, and sleeps
    // otherwise, so that an idle program leaves the thread asleep.
    void RunClockAsNeeded();

    // Each stored value goes into its control and runs the control's handler.
    void ApplyStored(DistinctFailures &errors);

private:
    void ApplyChannel(int channel);
    // Where the clicks start: on the drums' beats when they run, otherwise
    // on a beat at the timer's first firing.
    std::uint8_t BeatStep() const;

    Parts parts_;
};

} // namespace app
