#pragma once
// The handlers of what the keys and the drums play by: tempo, transposition,
// volume, the drums check box, instrument, channel and velocity by position.
// Each change goes into the playing state and the settings file; at start the
// stored values come back into the controls.

#include "app/DistinctFailures.h"

namespace performance {
struct PlayingState;
}
namespace recorder {
class DrumPattern;
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
        const recorder::Transport &transport;
        // The device's failures met by the drums; the user's act rearms it.
        RepeatedFailureGate &failures;
    };
    explicit PlayingControls(Parts parts) : parts_(parts) {}

    int Tempo() const;
    int Transposition() const;
    int Volume() const;
    bool VelocityByPosition() const;

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

    // The clock runs while the transport or the drums need it, and sleeps
    // otherwise, so that an idle program leaves the thread asleep.
    void RunClockAsNeeded();

    // Each stored value goes into its control and runs the control's handler.
    void ApplyStored(DistinctFailures &errors);

private:
    void ApplyChannel(int channel);

    Parts parts_;
};

} // namespace app
