#pragma once
// The main window: it holds the program's parts (device and its session,
// settings file, recording and its commands, key map and PC keyboard, the
// transport, the controls and their handlers) and passes its handlers on to them.

#include "app/DeviceSession.h"
#include "app/MainControls.h"
#include "app/PcKeyboard.h"
#include "app/PlayingControls.h"
#include "app/RecordingCommands.h"
#include "app/RepeatedFailureGate.h"
#include "app/SettingsWriter.h"
#include "midi_out/MidiBackend.h"
#include "midi_out/MidiIn.h"
#include "midi_out/MidiOut.h"
#include "performance/InputRouter.h"
#include "performance/KeyPlayer.h"
#include "performance/PlaybackKeys.h"
#include "app/UTast.h"
#include "recorder/DrumPattern.h"
#include "recorder/Metronome.h"
#include "recorder/NoteRouter.h"
#include "recorder/RecordingStream.h"
#include "recorder/SteadyTimer.h"
#include "recorder/Transport.h"

#include <QMainWindow>

#include <exception>
#include <memory>
#include <string>
#include <vector>

namespace app {

class MainMenu;
class TAboutBox;

class TForm1 : public QMainWindow, public KeyAssignmentHost, private recorder::NoteObserver {
    Q_OBJECT
public:
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

    // The key assignment window, created by the entry after this window.
    void SetKeyAssignmentWindow(TForm2 *window) { assignmentWindow_ = window; }
    // "Tastatur einstellen...": erases the stored key map, empties the lists
    // (the PC keyboard plays nothing meanwhile) and shows the window.
    void StartKeyAssignment();
    // "Standardbelegung": an assignment under way ends, the default map is stored.
    void RestoreDefaultKeyMap();
    void AssignKey(int code, int number) override;
    void ReloadKeyMap() override;

    // Menu handlers.
    void InstrumentClick(int program);
    // "Kanal": see PlayingControls::ChannelClick.
    void ChannelClick(int channel);
    void VelocityByPositionClick();
    void KeyLabelsClick();
    // The "Aufnahme" menu's practice items: see PlayingControls.
    void MetronomeClick();
    void CountInClick();
    void RepeatClick();
    // "Gerät" and "Eingang", and their lists read anew: see DeviceSession.
    void SelectDevice(int index);
    void RefreshDeviceMenu();
    void SelectInput(int index);
    void RefreshInputMenu();
    void InfoClick();
    void HomepageClick();
    // "Öffnen..." and "Speichern...": see RecordingCommands.
    void ffnen1Click();
    void Speichern1Click();

    // The transport buttons' handlers.
    void RecordClick();
    void PlayClick();
    void StopClick();
    // Closes and reopens the device to silence it, then re-selects the
    // stored instrument.
    void Stop();

protected:
    void showEvent(QShowEvent *event) override;
    bool event(QEvent *event) override;
    // An unsaved take is asked about first; "Abbrechen" keeps the window.
    // Saves under way are waited for, the window still at work.
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    // What the tests and benchmarks look at inside the window (tests/support).
    friend class WindowProbe;
    class TransportLink;
    class GatedMouse;

    void CreateControls();
    // Devices are read now, or, from the event loop, when the chosen one opens.
    void StartUp(DeviceStart deviceStart);
    // A write the settings writer could not do, shown on the window's thread.
    void ShowSettingsFailure(const std::exception_ptr &failure);
    // A modal window of ours took the mouse: its release will never come.
    void EndMouseHeldNote();
    // Before a file is read or written: the recording or playback ends and
    // the device is silenced; a device failure is told and the command goes on.
    void StopForFile();
    // The count-in's end: the take begins on this beat, its tick 0.
    void BeginCountedTake();
    // The take's time at `tick` beside the transport buttons, while it runs.
    void ShowTakeTime(std::int32_t tick);
    // The file's name, and a mark while the take is unsaved.
    void ShowTitle();

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
    performance::PlaybackKeys playbackKeys_{playing_, keyModel_};
    std::unique_ptr<RecordingCommands> recording_;
    std::unique_ptr<MainMenu> menus_;
    // The info dialog; the window makes its own on first use.
    TAboutBox *aboutBox_ = nullptr;
    std::unique_ptr<TAboutBox> ownAboutBox_;
    std::unique_ptr<TransportLink> transportLink_;
    std::unique_ptr<recorder::Transport> transport_;
    std::unique_ptr<recorder::DrumPattern> drums_;
    // Its clicks reach the device only, never the take.
    recorder::Metronome metronome_{notes_.Unrecorded(),
                                   [this] { return static_cast<std::uint8_t>(playing_.volume); }};
    std::vector<std::string> arguments_;
    performance::KeyPlayer player_{playing_, keyModel_, notes_};
    // The widgets, owned by the window as their parent; built once.
    MainControls controls_;
    std::unique_ptr<PlayingControls> playingControls_;
    std::unique_ptr<GatedMouse> gatedMouse_;
    std::unique_ptr<PcKeyboard> keyboard_;
    TForm2 *assignmentWindow_ = nullptr;
    bool shouldTerminate_ = false;
    bool endingBySignal_ = false;
    bool leftTakesOffered_ = false;
    // The take's file as the title names it (empty: none), and whether the
    // title marks the take unsaved.
    QString fileName_;
    bool titleUnsaved_ = false;
    std::unique_ptr<DeviceSession> session_;
    // The device's failures met by the timers, the PC keys, the file
    // commands' stop and the ends of held notes: one lost device shows its
    // failure once, however many of them meet it.
    RepeatedFailureGate deviceFailures_;
};

} // namespace app
