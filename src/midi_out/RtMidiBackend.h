#pragma once
// MIDI ports of one of the system's MIDI APIs, through RtMidi: every ALSA
// sequencer port, or every JACK MIDI input port, that takes output from us.
// The program's own clients are left out. Ports are listed on the first
// count and on each RefreshDevices(); GetDevCaps and open refer to that list,
// and a port that has gone since fails to open with MIDIERR_PORTGONE.
//
// No ALSA sequencer, or no JACK server, means no ports: no exception, no
// waiting, nothing printed. A JACK server is never started.

#include "midi_out/BackendSupport.h"
#include "midi_out/CompletionThread.h"
#include "midi_out/MidiBackend.h"

#include <atomic>
#include <map>
#include <memory>
#include <string>
#include <vector>

class RtMidiOut;
struct _jack_client;

namespace midi_out {

class RtMidiBackend : public MidiBackend {
public:
    enum class Api { Alsa, Jack };

    explicit RtMidiBackend(Api api);
    ~RtMidiBackend() override;
    RtMidiBackend(const RtMidiBackend &) = delete;
    RtMidiBackend &operator=(const RtMidiBackend &) = delete;

    Api api() const { return api_; }

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
        std::string fullName; // as RtMidi lists it; what an open looks for
        std::string name;     // as the capability record shows it
    };
    struct OpenPort;

    bool Connect();
    void DropDeadServer();
    void WaitForJackCycles(int cycles);
    void KeepSpare(std::unique_ptr<RtMidiOut> client);
    bool ServerGone() const;
    std::unique_ptr<RtMidiOut> MakeClient();

    Api api_;
    std::unique_ptr<RtMidiOut> lister_;
    std::unique_ptr<RtMidiOut> spare_; // a device's client, kept after its close
    // JACK only: a client of our own that learns when the server goes away,
    // which RtMidi's clients never notice.
    _jack_client *watch_ = nullptr;
    std::atomic<bool> watchLost_{false};
    std::atomic<std::uint64_t> jackCycles_{0}; // process cycles the watch has seen
    std::vector<Port> ports_;
    bool counted_ = false;
    std::map<DeviceHandle, std::unique_ptr<OpenPort>> open_;
    DeviceHandle nextHandle_ = 1;
    // Last member: its thread stops before the counters it reads go.
    CompletionThread completions_;
};

} // namespace midi_out
