#pragma once
// The main window: piano keyboard, controls, and everything the running
// program owns (device, settings file, recording, key map, counters, timers).

#include "app/DeviceSession.h"
#include "app/MainControls.h"
#include "app/PcKeyboard.h"
#include "app/RecordingCommands.h"
#include "app/RepeatedFailureGate.h"
#include "app/SettingsWriter.h"
#include "midi_out/MidiBackend.h"
#include "midi_out/MidiIn.h"
#include "midi_out/MidiOut.h"
#include "performance/InputRouter.h"
#include "performance/KeyPlayer.h"
#include "app/UTast.h"
#include "recorder/DrumPattern.h"
#include "recorder/NoteRouter.h"
#include "recorder/RecordingStream.h"
#include "recorder/SteadyTimer.h"
#include "recorder/Transport.h"

#include <QMainWindow>
#include <QStringList>

#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <vector>

class QFileDialog;

namespace app {

class MainMenu;
class TAboutBox;

class TForm1 : public QMainWindow,
               public KeyAssignmentHost,
               private recorder::NoteObserver,
               private MainControls {
    Q_OBJECT
public:
    static constexpr int ClientWidth = MainControls::ClientWidth;
    static constexpr int ClientHeight = MainControls::ClientHeight;
    static constexpr int FontPixelSize = 12;
    static constexpr int ClockIntervalMs = recorder::Transport::ClockIntervalMs;

    // When start-up reads the devices, opens the chosen one and sends it the
    // instrument: before the constructor returns, or from the event loop, so
    // that a window shown at once is not held up by the sound servers.
    enum class DeviceStart { Now, FromEventLoop };

    // Runs the start-up sequence with `backend` as the device's way to the
    // platform and the settings file at `settingsFileName`. `arguments` are
    // the file names of the command line, the bytes as given.
    TForm1(std::unique_ptr<midi_out::MidiBackend> backend, const std::string &settingsFileName,
           std::vector<std::string> arguments = {}, QWidget *parent = nullptr, DeviceStart deviceStart = DeviceStart::Now);
    ~TForm1() override;

    // Start-up found no output device and told the user: the program ends
    // without showing the window.
    bool ShouldTerminate() const { return shouldTerminate_; }

    // A stop signal (a logout, Ctrl+C, kill): the program ends without a
    // question, as at a close, and an unsaved take keeps its journal for the
    // next start.
    void EndBySignal();

    // The note path, the one way out for every message the program
    // produces: sent first, then, while recording, appended to the recording.
    recorder::NoteRouter &Notes() { return notes_; }
    int Transposition() const;
    int Volume() const;
    // The channel (1..16) of the keys and the instrument; the drums keep 10.
    int Channel() const { return playing_.channel; }
    bool VelocityByPosition() const;
    int Tempo() const;
    bool IsRecording() const;

    // The key named "Key" + number; none outside 1..42.
    performance::PianoKey *Key(int number) const
    {
        if (number < 1 || number > performance::KeyCount)
            return nullptr;
        return keys_[static_cast<std::size_t>(number - 1)];
    }
    performance::PianoKey *MouseHeldKey() const
    {
        const int held = keyModel_.MouseHeldKey();
        return held != 0 ? keys_[static_cast<std::size_t>(held - 1)] : nullptr;
    }
    performance::KeyPlayer &Player() { return player_; }

    midi_out::TMidiOutput &MidiOut() { return *midiOut_; }
    midi_out::TMidiInput &MidiIn() { return *midiIn_; }
    SettingsWriter &Settings() { return *settings_; }
    recorder::RecordingStream &RecordingStream() { return *recordingStream_; }
    const QStringList &KeyCodes() const { return keyboard_->Codes(); }
    const QStringList &KeyNumbers() const { return keyboard_->Numbers(); }
    std::int32_t CurrentTick() const { return transport_->Tick(); }
    void SetCurrentTick(std::int32_t tick) { transport_->SetTick(tick); }
    std::uint8_t CurrentDrumStep() const { return drums_->Step(); }
    const recorder::Transport &Transport() const { return *transport_; }
    const UnsavedTake &Take() const { return recording_->Take(); }
    const RecordingSaves &Saves() const { return recording_->Saves(); }
    recorder::TakeJournal &Journal() { return recording_->Journal(); }
    const performance::ControlKeys &ControlKeys() const { return keyboard_->Controls(); }

    // Re-selects an instrument by its program number: performs the click of
    // the instrument item with that number; a number without one does nothing.
    void SelectInstrument(int program);

    // The key assignment window, created by the entry after this window.
    void SetKeyAssignmentWindow(TForm2 *window) { assignmentWindow_ = window; }
    TForm2 *KeyAssignmentWindow() const { return assignmentWindow_; }
    // "Tastatur einstellen...": erases the stored key map, empties the lists
    // (the PC keyboard plays nothing meanwhile) and shows the window.
    void StartKeyAssignment();
    // "Standardbelegung": an assignment under way ends, the default map is stored.
    void RestoreDefaultKeyMap();
    void AssignKey(int code, int number) override;
    void ReloadKeyMap() override;
    // The idle handler: runs once after every burst of events, and passes
    // over the PC keyboard when that could change anything.
    void PollKeyboard();

    // Menu handlers.
    void InstrumentClick(int program);
    // "Kanal": the keys and the instrument go to `channel` from now on; notes
    // and a pedal held meanwhile end on the channel that started them.
    void ChannelClick(int channel);
    void VelocityByPositionClick();
    void KeyLabelsClick();
    // "Gerät" and "Eingang", and their lists read anew: see DeviceSession.
    void SelectDevice(int index);
    void RefreshDeviceMenu();
    void SelectInput(int index);
    void RefreshInputMenu();
    void InfoClick();
    void HomepageClick();
    // "Öffnen..." and "Speichern...": opening and saving recordings. A save
    // returns once the file's bytes are made; they are written meanwhile.
    void ffnen1Click();
    void Speichern1Click();

    // The info dialog that "Info..." shows; without one set, the window
    // makes its own on first use.
    void SetAboutBox(TAboutBox *box) { aboutBox_ = box; }

    // Handlers of the controls; the controls call them on every change, and
    // start-up calls them to apply the stored values.
    void TempoChanged();
    void TranspositionChanged();
    void DrumsClicked();
    void VolumeChanged();
    void RecordClick();
    void PlayClick();
    void StopClick();
    void ClockTick();
    void DrumTick();

    // Closes and reopens the device to silence it, then re-selects the
    // stored instrument.
    void Stop();

    // The dialogs, created on first use and kept with their last folder.
    QFileDialog *OpenDialog1();
    QFileDialog *SaveDialog1();

protected:
    void showEvent(QShowEvent *event) override;
    bool event(QEvent *event) override;
    // An unsaved take is asked about first; "Abbrechen" keeps the window.
    // Saves under way are waited for, the window still at work.
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;

private:

    void CreateControls();
    // Devices are read now, or, from the event loop, when the chosen one opens.
    void StartUp(DeviceStart deviceStart);
    // A write the settings writer could not do, shown on the window's thread.
    void ShowSettingsFailure(const std::exception_ptr &failure);
    void ApplyStoredSettings(DistinctFailures &errors);
    // The user acted on the device: a timer's or a key's failure may be
    // shown again.
    void RearmRepeatedFailures();
    // A modal window of ours took the mouse: its release will never come.
    void EndMouseHeldNote();
    // Before a file is read or written: the recording or playback ends and
    // the device is silenced; a device failure is told and the command goes on.
    void StopForFile();
    void MoveTransposition(int semitones);
    void ApplyChannel(int channel);
    // The clock runs while the transport or the drums need it, and sleeps
    // otherwise, so that an idle program leaves the thread asleep.
    void RunClockAsNeeded();

    class TransportLink;
    class GatedMouse;

    // The note path tells the window of what passes.
    void DeviceNeeded() override;
    void Sent() override;
    void Recorded() override;

    std::unique_ptr<midi_out::TMidiOutput> midiOut_;
    // Uses the output's back end: goes before it.
    std::unique_ptr<midi_out::TMidiInput> midiIn_;
    std::unique_ptr<SettingsWriter> settings_;
    std::unique_ptr<recorder::RecordingStream> recordingStream_;
    // The controls' positions the keys and the input play by, kept in line
    // by the controls' handlers.
    performance::PlayingState playing_;
    // What the piano keys do; the key widgets draw it.
    performance::KeyboardModel keyModel_;
    recorder::NoteRouter notes_{*midiOut_, *recordingStream_, *this};
    performance::InputRouter inputRouter_{playing_, keyModel_, notes_};
    std::unique_ptr<RecordingCommands> recording_;
    std::unique_ptr<MainMenu> menus_;
    TAboutBox *aboutBox_ = nullptr;
    std::unique_ptr<TAboutBox> ownAboutBox_;
    std::unique_ptr<TransportLink> transportLink_;
    std::unique_ptr<recorder::Transport> transport_;
    std::unique_ptr<recorder::DrumPattern> drums_;
    std::vector<std::string> arguments_;
    performance::KeyPlayer player_{playing_, keyModel_, notes_};
    std::unique_ptr<GatedMouse> gatedMouse_;
    std::unique_ptr<PcKeyboard> keyboard_;
    TForm2 *assignmentWindow_ = nullptr;
    bool shouldTerminate_ = false;
    bool endingBySignal_ = false;
    bool leftTakesOffered_ = false;
    std::unique_ptr<DeviceSession> session_;
    // The device's failures met by the timers, the PC keys, the file
    // commands' stop and the ends of held notes: one lost device shows its
    // failure once, however many of them meet it.
    RepeatedFailureGate deviceFailures_;
};

} // namespace app
