#pragma once
// Every JACK MIDI input port that takes output from us, the program's own
// clients left out. Ports are listed on the first count and on each
// RefreshDevices(); GetDevCaps and open refer to that list, and a port that
// has gone since fails to open with MIDIERR_PORTGONE.
//
// No JACK server means no ports: no exception, no waiting, nothing printed. A
// server is never started, and one that was not there is looked for again
// only on the next refresh.
//
// One JACK client serves everything: it lists and looks up ports, and every
// open device and source is a port of it. The client is activated with the
// first port and leaves the graph with the last; while only listing it costs
// the server nothing.
// Opening and closing a device registers and unregisters a port, so that the
// server never has clients coming and going under the user's playing. The
// process callback runs over a fixed table of our ports: an output drains a
// lock-free queue that the window's thread fills, an input hands what
// arrives to the driver callback. A port leaves the table before its memory
// goes. No call waits on the server longer than JackBound: a step that does
// not finish by then is given up, and the server counts as gone until it has
// ended.

#include "midi_out/BackendSupport.h"
#include "midi_out/CompletionThread.h"
#include "midi_out/JackSupport.h"
#include "midi_out/MidiBackend.h"

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace midi_out {

class JackBackend : public PortListingBackend, private JackClientOwner {
public:
    JackBackend();
    ~JackBackend() override;
    JackBackend(const JackBackend &) = delete;
    JackBackend &operator=(const JackBackend &) = delete;

    void RefreshDevices() override;
    MidiResult Open(DeviceHandle *handle, std::int32_t deviceId, DriverCallbackProc callback,
                    std::uintptr_t instance, std::uint32_t flags) override;
    MidiResult Close(DeviceHandle handle) override;
    // Queues the silencing without waiting, while the port is still
    // connected to its receiver; MIDIERR_PORTGONE otherwise.
    MidiResult Silence(DeviceHandle handle) override;
    MidiResult Lost(DeviceHandle handle) override;
    MidiResult ShortMessage(DeviceHandle handle, std::uint32_t message) override;
    MidiResult LongMessage(DeviceHandle handle, MIDIHDR *header, std::uint32_t size) override;

    // Sources: the JACK MIDI output ports of other clients. Each open source
    // is an input port of our client connected to it by name. A source whose
    // connection breaks (its port or client went, the server went) is
    // reported gone once.
    void RefreshInputs() override;
    MidiResult OpenInput(DeviceHandle *handle, std::int32_t inputId, DriverCallbackProc callback,
                         std::uintptr_t instance) override;
    MidiResult CloseInput(DeviceHandle handle) override;
    // Between a source and a device of ours: in the same process cycle as
    // the message arrives, at its frame.
    bool SetThru(DeviceHandle input, DeviceHandle output) override;
    // To another back end's device: from the process thread as the message arrives.
    bool SetThruTarget(DeviceHandle input, ThruTarget *target) override;

    // The longest message sent to a port: it must fit a port's queue and one
    // cycle's MIDI buffer whole. A longer one is refused, never cut.
    static constexpr std::uint32_t MaxJackMessage = 16000;

protected:
    bool IsOpen(DeviceHandle handle) const override { return open_.Has(handle); }
    std::uint32_t DriverVersion() const override;

private:
    class Port;
    class PortTable;
    class Output;
    class Input;
    struct OpenPort;

    // The client, opened for listing when there is none; false without one.
    bool HaveClient();
    // Registers a port made by `make` on a bounded thread, puts it in the
    // table, activates the client and connects the port; null when a step
    // fails or the server does not answer in time.
    template <class Made>
    std::unique_ptr<Made> AddPort(std::function<std::unique_ptr<Made>(_jack_client *)> make,
                                  std::function<bool(_jack_client *, Made &)> connect);
    // Takes the port out of the table and, when the server still runs,
    // unregisters it on a bounded thread.
    void RemovePort(std::unique_ptr<Port> port, bool unregister, std::chrono::milliseconds bound = JackBound);
    // A free port name of ours: "out", "out-2", ...
    std::string FreePortName(const char *base) const;
    MidiResult CanAddPort(const std::string &peer);

    MidiResult OpenOutput(OpenPort &port, const std::string &fullName);
    void DropClientsOfLostServer() override;

    // Closes every source without waiting; `tellGone`: each reports its loss first.
    void DropInputs(bool tellGone);
    std::map<DeviceHandle, std::unique_ptr<Input>> inputs_;

    std::shared_ptr<PortTable> table_; // lives until the client's close has ended
    JackClient jack_;                  // lists, connects, holds our ports
    OpenPorts<OpenPort> open_;
    DeviceHandle nextHandle_ = 1;
    // Last member: its thread stops before what it reads goes.
    CompletionThread completions_;
};

} // namespace midi_out
