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
// The ports are listed, connected and looked up through one client that is
// never activated, so that sitting idle costs the server nothing. Each open
// device is a client of its own with one output port, fed through a
// lock-free queue that its process callback drains: the callback owns
// nothing that is freed while the client can still run it. No call waits on
// the server longer than JackBound: a port whose close does not finish by
// then is given up as gone, and the server counts as gone until that close
// has ended.

#include "midi_out/BackendSupport.h"
#include "midi_out/CompletionThread.h"
#include "midi_out/JackSupport.h"
#include "midi_out/MidiBackend.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace midi_out {

class JackBackend : public MidiBackend, private JackClientOwner {
public:
    JackBackend();
    ~JackBackend() override;
    JackBackend(const JackBackend &) = delete;
    JackBackend &operator=(const JackBackend &) = delete;

    void RefreshDevices() override;
    std::uint32_t DeviceCount() override;
    MidiResult GetDevCaps(std::int32_t deviceId, MidiOutCaps *caps, std::uint32_t size) override;
    MidiResult Open(DeviceHandle *handle, std::int32_t deviceId, DriverCallbackProc callback,
                    std::uintptr_t instance, std::uint32_t flags) override;
    MidiResult Close(DeviceHandle handle) override;
    // Queues the silencing without waiting, while the port is still
    // connected to its receiver; MIDIERR_PORTGONE otherwise.
    MidiResult Silence(DeviceHandle handle) override;
    MidiResult ShortMessage(DeviceHandle handle, std::uint32_t message) override;
    MidiResult PrepareHeader(DeviceHandle handle, MIDIHDR *header, std::uint32_t size) override;
    MidiResult LongMessage(DeviceHandle handle, MIDIHDR *header, std::uint32_t size) override;
    MidiResult UnprepareHeader(DeviceHandle handle, MIDIHDR *header, std::uint32_t size) override;

    // Sources: the JACK MIDI output ports of other clients. Each open source
    // is a client of its own with one input port connected to it by name; its
    // process callback hands what arrives to the driver callback. A source
    // whose connection breaks (its port or client went, the server went) is
    // reported gone once.
    void RefreshInputs() override;
    std::uint32_t InputCount() override;
    MidiResult GetInputName(std::int32_t inputId, std::string *name) override;
    MidiResult OpenInput(DeviceHandle *handle, std::int32_t inputId, DriverCallbackProc callback,
                         std::uintptr_t instance) override;
    MidiResult CloseInput(DeviceHandle handle) override;

    // The longest message sent to a port: it must fit a port's queue and one
    // cycle's MIDI buffer whole. A longer one is refused, never cut.
    static constexpr std::uint32_t MaxJackMessage = 16000;

private:
    class Output;
    struct OpenPort;

    MidiResult OpenOutput(OpenPort &port, const std::string &fullName);
    // Closing a client (an output's or an input's) waits for the server: it
    // goes on alone after `bound`.
    template <class Client>
    static void Discard(std::unique_ptr<Client> client, std::chrono::milliseconds bound = JackBound)
    {
        if (client != nullptr)
            RunBounded([client = client.release()] { delete client; }, bound);
    }
    void DropClientsOfLostServer() override;

    class Input;
    // Closes every source without waiting; `tellGone`: each reports its loss first.
    void DropInputs(bool tellGone);
    std::vector<std::string> sources_; // full names, as JACK lists them
    bool sourcesListed_ = false;
    std::map<DeviceHandle, std::unique_ptr<Input>> inputs_;

    JackClient jack_; // lists, connects, watches the server
    PortList ports_;
    bool counted_ = false;
    std::map<DeviceHandle, std::unique_ptr<OpenPort>> open_;
    DeviceHandle nextHandle_ = 1;
    // Last member: its thread stops before what it reads goes.
    CompletionThread completions_;
};

} // namespace midi_out
