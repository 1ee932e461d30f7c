#pragma once
// ALSA sequencer ports through RtMidi: every port that takes output from us,
// the program's own clients left out. Ports are listed on the first count and
// on each RefreshDevices(); GetDevCaps and open refer to that list, and a
// port that has gone since fails to open with MIDIERR_PORTGONE.
//
// No ALSA sequencer means no ports: no exception, no waiting, nothing printed.
//
// A port is not silenced in place (Silence keeps its default): whether its
// connection still reaches the receiver cannot be told through RtMidi, and
// closing and reopening an ALSA port waits for no server.

#include "midi_out/BackendSupport.h"
#include "midi_out/CompletionThread.h"
#include "midi_out/MidiBackend.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

class RtMidiIn;
class RtMidiOut;

namespace midi_out {

class RtMidiBackend : public PortListingBackend {
public:
    RtMidiBackend();
    ~RtMidiBackend() override;
    RtMidiBackend(const RtMidiBackend &) = delete;
    RtMidiBackend &operator=(const RtMidiBackend &) = delete;

    void RefreshDevices() override;
    MidiResult Open(DeviceHandle *handle, std::int32_t deviceId, DriverCallbackProc callback,
                    std::uintptr_t instance, std::uint32_t flags) override;
    MidiResult Close(DeviceHandle handle) override;
    MidiResult ShortMessage(DeviceHandle handle, std::uint32_t message) override;
    MidiResult LongMessage(DeviceHandle handle, MIDIHDR *header, std::uint32_t size) override;

    // The ALSA ports we can read from, listed the same way; each open source
    // is an input port of a client of its own, fed on RtMidi's thread. A
    // source missing from a new list is reported gone.
    void RefreshInputs() override;
    MidiResult OpenInput(DeviceHandle *handle, std::int32_t inputId, DriverCallbackProc callback,
                         std::uintptr_t instance) override;
    MidiResult CloseInput(DeviceHandle handle) override;
    // To another back end's device, from RtMidi's thread.
    bool SetThruTarget(DeviceHandle input, ThruTarget *target) override;
    bool SetThru(DeviceHandle input, DeviceHandle output) override;

protected:
    bool IsOpen(DeviceHandle handle) const override { return open_.Has(handle); }
    std::uint32_t DriverVersion() const override;

private:
    struct OpenPort;

    std::vector<std::string> ListPorts();

    struct OpenSource;

    std::unique_ptr<RtMidiOut> lister_;
    std::unique_ptr<RtMidiIn> sourceLister_;
    std::map<DeviceHandle, std::unique_ptr<OpenSource>> openSources_;
    OpenPorts<OpenPort> open_;
    DeviceHandle nextHandle_ = 1;
    // Last member: its thread stops before what it reads goes.
    CompletionThread completions_;
};

} // namespace midi_out
