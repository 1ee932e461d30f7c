#pragma once
// MIDI ports of one of the system's MIDI APIs, through RtMidi: every ALSA
// sequencer port, or every JACK MIDI input port, that takes output from us.
// The program's own clients are left out. Ports are listed on the first
// count and on each RefreshDevices(); GetDevCaps and open refer to that list,
// and a port that has gone since fails to open with MIDIERR_PORTGONE.
//
// No ALSA sequencer, or no JACK server, means no ports: no exception, no
// waiting, nothing printed. A JACK server is never started, and one that was
// not there is looked for again only on the next refresh.
//
// JACK: the ports are listed, connected and the server's cycles read through
// one client that is never activated, so that sitting idle costs the server
// nothing; the only active client is the open port's own. No call waits on
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

class RtMidiOut;

namespace midi_out {

class RtMidiBackend : public MidiBackend, private JackClientOwner {
public:
    enum class Api { Alsa, Jack };

    explicit RtMidiBackend(Api api);
    ~RtMidiBackend() override;
    RtMidiBackend(const RtMidiBackend &) = delete;
    RtMidiBackend &operator=(const RtMidiBackend &) = delete;

    Api GetApi() const { return api_; }

    void RefreshDevices() override;
    std::uint32_t DeviceCount() override;
    MidiResult GetDevCaps(std::int32_t deviceId, MidiOutCaps *caps, std::uint32_t size) override;
    MidiResult Open(DeviceHandle *handle, std::int32_t deviceId, DriverCallbackProc callback,
                    std::uintptr_t instance, std::uint32_t flags) override;
    MidiResult Close(DeviceHandle handle) override;
    MidiResult ShortMessage(DeviceHandle handle, std::uint32_t message) override;
    MidiResult PrepareHeader(DeviceHandle handle, MIDIHDR *header, std::uint32_t size) override;
    MidiResult LongMessage(DeviceHandle handle, MIDIHDR *header, std::uint32_t size) override;
    MidiResult UnprepareHeader(DeviceHandle handle, MIDIHDR *header, std::uint32_t size) override;

    // The longest message sent to a JACK port: RtMidi's queue to the port
    // holds about 16 KiB and drops what does not fit without a word.
    static constexpr std::uint32_t MaxJackMessage = 16000;

private:
    struct Port {
        std::string fullName; // as the API lists it; what an open looks for
        std::string name;     // as the capability record shows it
    };
    struct OpenPort;

    std::vector<std::string> ListAlsaPorts();
    std::vector<std::string> ListJackPorts();
    MidiResult OpenAlsa(OpenPort &port, const std::string &fullName);
    MidiResult OpenJack(OpenPort &port, const std::string &fullName);
    void DropClientsOfLostServer() override;
    static void Discard(std::unique_ptr<RtMidiOut> client, std::chrono::milliseconds bound = JackBound);
    // First frame of the JACK cycle last started; false without a server.
    bool CycleStart(std::uint32_t &start) const;

    Api api_;
    std::unique_ptr<RtMidiOut> alsaLister_;
    JackClient jack_; // lists, connects, watches the server, tells its cycles
    std::vector<Port> ports_;
    bool counted_ = false;
    std::map<DeviceHandle, std::unique_ptr<OpenPort>> open_;
    DeviceHandle nextHandle_ = 1;
    // Last member: its thread stops before what it reads goes.
    CompletionThread completions_;
};

} // namespace midi_out
