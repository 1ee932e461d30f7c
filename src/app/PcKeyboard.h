#pragma once
// The PC keyboard as the window plays it: the key map from the settings
// file (the two lists KeyCodeList and KeyNumberList), the key states seen
// in the program's own key events, and the pass over them after every burst
// of events that turns keys into notes, the pedal and the octave keys. Its
// labels on the piano keys, and the clearing of the map when the user
// assigns it anew.

#include "app/DistinctFailures.h"
#include "performance/ControlKeys.h"
#include "performance/KeyGeometry.h"
#include "performance/KeyPlayer.h"
#include "performance/KeyStateTable.h"
#include "performance/KeyboardPoll.h"
#include "performance/PollGate.h"

#include <QObject>
#include <QStringList>

#include <array>
#include <functional>
#include <memory>
#include <optional>

class QWidget;

namespace performance {
class KeyboardLayout;
class WaylandKeymapWatch;
}
namespace recorder {
class NoteSink;
}

namespace app {

class RepeatedFailureGate;
class SettingsWriter;

class PcKeyboard : public performance::PcKeySource {
public:
    // What the keyboard works with; all of it outlives it.
    struct Parts {
        // The window whose key presses play.
        QWidget &window;
        const std::array<performance::PianoKey *, performance::KeyCount> &keys;
        // What the keys do, and the key map compiled.
        performance::KeyboardModel &model;
        performance::KeyPlayer &player;
        const performance::PlayingState &playing;
        recorder::NoteSink &notes;
        SettingsWriter &settings;
        // The device's failures, told once until the user acts.
        RepeatedFailureGate &failures;
        // Whether "PC-Tasten anzeigen" is on.
        std::function<bool()> showLabels;
        // Moves the transposition control, as its spin buttons do.
        std::function<void(int semitones)> moveTransposition;
    };

    explicit PcKeyboard(Parts parts);
    ~PcKeyboard() override;
    PcKeyboard(const PcKeyboard &) = delete;
    PcKeyboard &operator=(const PcKeyboard &) = delete;

    // The key states come from the program's own key events, seen before any
    // widget; the pass runs whenever the event queue has run empty.
    void Install();
    // The stored key map, or the default; entries that are no code are left
    // out and kept in `errors`.
    void Load(DistinctFailures &errors);
    // The map read anew after an assignment; entries that are no code are told.
    void Reload();
    // "Tastatur einstellen...": the stored map is erased and the lists
    // emptied (the PC keyboard plays nothing meanwhile).
    void Clear();
    // "Standardbelegung": the default map, stored in place of what is stored
    // (an assignment cut short leaves only part of a map).
    void RestoreDefaults();
    // With the map gone no pass would end the notes still held on the PC
    // keyboard: they end now.
    void EndHeldNotes();
    // The pass, when it could change anything.
    void Poll();
    // Every PC key counts as up, as when the window loses the focus, and the
    // pass ends the notes they held.
    void ReleaseHeldKeys();
    // Writes the PC keys on the piano keys while the labels are on; the
    // names are read anew (the map or the layout changed).
    // Const: it changes the keys' labels and the cached names, not the map.
    void UpdateLabels() const;
    // The piano keys' descriptions read these, shown or not.
    QString PcKeysOf(const performance::PianoKey &key) const override;

    const QStringList &Codes() const { return KeyCodeList; }
    const QStringList &Numbers() const { return KeyNumberList; }
    performance::ControlKeys &Controls() { return controls_; }

private:
    // Reads the key map into the lists; the texts of the entries left out.
    QStringList Read();
    void Changed();
    // What the layout prints on the mapped PC keys; made when first asked,
    // since compiling the layout is not free.
    const std::array<QString, performance::KeyCount> &Names() const;
    // The layout the user types with: on a Wayland session the compositor's
    // keymap, watched from the first need on, so that a layout switch
    // relabels the keys; elsewhere the X server's or the system's.
    performance::KeyboardLayout Layout() const;

    Parts parts_;
    QStringList KeyCodeList;
    QStringList KeyNumberList;
    performance::KeyStateTable states_;
    performance::KeyStateFilter *filter_ = nullptr;
    performance::KeyboardPoll poll_{parts_.model, states_, parts_.player};
    performance::PollGate gate_{states_, parts_.model};
    performance::ControlKeys controls_;
    mutable std::optional<std::array<QString, performance::KeyCount>> names_;
    mutable std::unique_ptr<performance::WaylandKeymapWatch> keymapWatch_;
    mutable bool keymapWatched_ = false;
    bool passPosted_ = false; // a pass is posted for a press and has not yet run
    // The posted pass's receiver: it goes with the keyboard, and a pass
    // still posted goes with it.
    QObject passReceiver_;
};

} // namespace app
