#pragma once
// The output device and the MIDI input as the user chose them: the choice at
// start (the stored name before the stored number), the menus' lists read
// anew, a device or source chosen, renumbered or gone, and the notes that
// end with them. The window owns it and calls it from its handlers.

#include "app/DeviceDirectory.h"
#include "app/DistinctFailures.h"

#include <cstdint>
#include <functional>
#include <memory>

namespace midi_out {
class TMidiInput;
class TMidiOutput;
} // namespace midi_out
namespace performance {
class InputRouter;
}
namespace recorder {
class DrumPattern;
}

namespace app {

class MainMenu;
class RepeatedFailureGate;
class SettingsWriter;

class DeviceSession {
public:
    // What the session works with; all of it outlives the session.
    struct Parts {
        midi_out::TMidiOutput &out;
        midi_out::TMidiInput &in;
        SettingsWriter &settings;
        MainMenu &menus;
        // The input's held notes, ended or forgotten with the input or device.
        performance::InputRouter &input;
        // The drums' notes end on the device that sounds them.
        recorder::DrumPattern &drums;
        // The device's failures, told once until the user acts.
        RepeatedFailureGate &failures;
        // Re-selects the stored instrument on the device opened at start.
        std::function<void()> selectStoredInstrument;
        // The user acted on the device: failures may be told again.
        std::function<void()> userActed;
        // A start whose devices were read late found none.
        std::function<void()> noDevices;
    };

    explicit DeviceSession(Parts parts);
    ~DeviceSession();
    DeviceSession(const DeviceSession &) = delete;
    DeviceSession &operator=(const DeviceSession &) = delete;

    // Reads the devices and chooses the one to open; false when there is
    // none. Until OpenChosen runs, start-up keeps its failures here.
    bool Choose();
    // Start-up without reading the devices yet: the window shows first, and
    // OpenChosen reads and chooses them (reading them asks the sound
    // servers, a good part of a start). Start-up keeps its failures here.
    void BeginWithoutChoice();
    DistinctFailures *StartUpErrors() { return startUpErrors_.get(); }
    // The part of start-up that may wait on a device: opens the chosen
    // device and the stored input, sends the instrument and reports what
    // start-up kept. Runs once; whatever would reach the device first runs
    // it, so the instrument goes out before anything else.
    void OpenChosen();
    // The window goes before OpenChosen ran: the device stays closed.
    void ForgetStart();

    // "Gerät": closes the device in use and opens the one numbered `index`.
    void SelectDevice(int index);
    // The device submenu is about to open: the device list is read anew.
    void RefreshDeviceMenu();
    // "Eingang": DeviceMenu::NoneIndex closes the input, a source's number
    // opens that source and stores the choice.
    void SelectInput(int index);
    // The input submenu is about to open: the sources are read anew; the
    // open source stays open.
    void RefreshInputMenu();
    // Closes the input and ends the notes it holds.
    void CloseInput();
    // The open source went away: told once, with the device when it went
    // too (one server for both); the input is closed.
    void InputLost();

private:
    int ChooseStartDevice(DistinctFailures &errors);
    void OpenStoredInput(DistinctFailures &errors);
    void Renumber(int index);

    midi_out::TMidiOutput &out_;
    midi_out::TMidiInput &in_;
    SettingsWriter &settings_;
    MainMenu &menus_;
    performance::InputRouter &input_;
    recorder::DrumPattern &drums_;
    RepeatedFailureGate &failures_;
    std::function<void()> selectStoredInstrument_;
    std::function<void()> userActed_;
    std::function<void()> noDevices_;
    DeviceDirectory devices_;
    DeviceDirectory inputs_;
    // Until OpenChosen has run: the failures start-up kept and the device it chose.
    std::unique_ptr<DistinctFailures> startUpErrors_;
    int startDevice_ = 0;
    bool chosen_ = false;
};

} // namespace app
