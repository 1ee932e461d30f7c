#pragma once
// What the tests and benchmarks look at inside the main window: its parts,
// reached through the window's one friend. `Probe(form).MidiOut()`.

#include "app/UMain.h"

#include <QStringList>

#include <cstddef>
#include <cstdint>

namespace app {

class WindowProbe {
public:
    explicit WindowProbe(TForm1 &form) : form_(form) {}

    recorder::NoteRouter &Notes() const { return form_.notes_; }
    performance::KeyPlayer &Player() const { return form_.player_; }
    midi_out::TMidiOutput &MidiOut() const { return *form_.midiOut_; }
    midi_out::TMidiInput &MidiIn() const { return *form_.midiIn_; }
    SettingsWriter &Settings() const { return *form_.settings_; }
    recorder::RecordingStream &RecordingStream() const { return *form_.recordingStream_; }

    // The key named "Key" + number; none outside 1..42.
    performance::PianoKey *Key(int number) const
    {
        if (number < 1 || number > performance::KeyCount)
            return nullptr;
        return form_.controls_.keys_[static_cast<std::size_t>(number - 1)];
    }
    performance::PianoKey *MouseHeldKey() const { return Key(form_.keyModel_.MouseHeldKey()); }
    const QStringList &KeyCodes() const { return form_.keyboard_->Codes(); }
    const QStringList &KeyNumbers() const { return form_.keyboard_->Numbers(); }
    // The idle pass over the PC keyboard, as after a burst of events.
    void PollKeyboard() const { form_.keyboard_->Poll(); }

    // Performs the click of the instrument item with that program number; a
    // number without one does nothing.
    void SelectInstrument(int program) const { form_.playingControls_->SelectInstrument(program); }
    // The info dialog that "Info..." shows instead of the window's own.
    void SetAboutBox(TAboutBox *box) const { form_.aboutBox_ = box; }

    int Tempo() const { return form_.playingControls_->Tempo(); }
    int Transposition() const { return form_.playingControls_->Transposition(); }
    int Volume() const { return form_.playingControls_->Volume(); }

    const recorder::Transport &Transport() const { return *form_.transport_; }
    bool IsRecording() const { return form_.transport_->IsRecording(); }
    std::int32_t CurrentTick() const { return form_.transport_->Tick(); }
    void SetCurrentTick(std::int32_t tick) const { form_.transport_->SetTick(tick); }
    // One tick of the clock, as its timer runs it.
    void ClockTick() const { form_.transport_->ClockTick(); }
    std::uint8_t CurrentDrumStep() const { return form_.drums_->Step(); }

    const UnsavedTake &Take() const { return form_.recording_->Take(); }
    const RecordingSaves &Saves() const { return form_.recording_->Saves(); }
    recorder::TakeJournal &Journal() const { return form_.recording_->Journal(); }
    QFileDialog *OpenDialog1() const { return form_.recording_->OpenDialog(); }
    QFileDialog *SaveDialog1() const { return form_.recording_->SaveDialog(); }

private:
    TForm1 &form_;
};

inline WindowProbe Probe(TForm1 &form) { return WindowProbe(form); }

} // namespace app
