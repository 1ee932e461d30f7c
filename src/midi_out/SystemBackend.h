#pragma once
// The MIDI output service of this system: several back ends numbered as one.
// Device 0 is the built-in synthesizer, then come the ALSA sequencer ports and
// the JACK MIDI ports; MIDI_MAPPER (-1) stands for device 0. The devices are
// enumerated once at construction and again on each RefreshDevices(); the
// count, the names and the open all refer to that snapshot, so a port that
// comes or goes in between changes nothing until the next refresh.
//
// A failed open is remembered: until the next successful open, a send on no
// device answers with the reason of that failure (say, no SoundFont) instead
// of a bare "invalid handle", so the user learns what is missing.

#include "midi_out/MidiBackend.h"

#include <memory>
#include <map>
#include <string>
#include <vector>

namespace midi_out {

class SystemBackend : public MidiBackend {
public:
    static constexpr const char *MapperName = "MIDI Mapper";

    // `parts` in device order; the first one's device 0 is the default device.
    explicit SystemBackend(std::vector<std::unique_ptr<MidiBackend>> parts);
    ~SystemBackend() override;
    SystemBackend(const SystemBackend &) = delete;
    SystemBackend &operator=(const SystemBackend &) = delete;

    void RefreshDevices() override;
    std::uint32_t DeviceCount() override;
    MidiResult GetDevCaps(std::int32_t deviceId, MidiOutCaps *caps, std::uint32_t size) override;
    MidiResult Open(DeviceHandle *handle, std::int32_t deviceId, DriverCallbackProc callback,
                    std::uintptr_t instance, std::uint32_t flags) override;
    MidiResult Close(DeviceHandle handle) override;
    MidiResult Silence(DeviceHandle handle) override;
    MidiResult Lost(DeviceHandle handle) override;
    MidiResult ShortMessage(DeviceHandle handle, std::uint32_t message) override;
    MidiResult PrepareHeader(DeviceHandle handle, MIDIHDR *header, std::uint32_t size) override;
    MidiResult LongMessage(DeviceHandle handle, MIDIHDR *header, std::uint32_t size) override;
    MidiResult UnprepareHeader(DeviceHandle handle, MIDIHDR *header, std::uint32_t size) override;

    // The sources of all parts as one list, in part order; names made
    // unique the same way as the devices'.
    void RefreshInputs() override;
    std::uint32_t InputCount() override;
    MidiResult GetInputName(std::int32_t inputId, std::string *name) override;
    MidiResult OpenInput(DeviceHandle *handle, std::int32_t inputId, DriverCallbackProc callback,
                         std::uintptr_t instance) override;
    MidiResult CloseInput(DeviceHandle handle) override;
    // Within a part as the part does it; from a source of one part to a
    // device of another through the device's ThruTarget.
    bool SetThru(DeviceHandle input, DeviceHandle output) override;

    MidiBackend &Part(std::size_t index) { return *parts_.at(index); }

private:
    struct Device {
        MidiBackend *part;
        std::int32_t index; // within the part
        std::string name;   // unique among all devices
        MidiOutCaps caps;   // as read at the refresh, under `name`
        MidiResult capsResult;
    };
    // One open device; its address is the instance value the part's callback
    // gets, so that notices reach the caller with our handle.
    struct OpenDevice {
        MidiBackend *part;
        DeviceHandle partHandle = 0;
        DeviceHandle handle = 0;
        DriverCallbackProc callback = nullptr;
        std::uintptr_t instance = 0;
    };
    static void Relay(DeviceHandle device, std::uint32_t message, std::uintptr_t instance,
                      std::uintptr_t param1, std::uintptr_t param2);
    const Device *FindDevice(std::int32_t deviceId);
    // Every source that forwards to `output` across parts stops.
    void EndThruTo(DeviceHandle output);

    struct Source {
        MidiBackend *part;
        std::int32_t index; // within the part
        std::string name;
    };

    std::vector<std::unique_ptr<MidiBackend>> parts_;
    std::vector<Device> devices_;
    bool listed_ = false;
    std::vector<Source> sources_;
    bool inputsListed_ = false;
    std::map<DeviceHandle, std::unique_ptr<OpenDevice>> openInputs_;
    std::map<DeviceHandle, std::unique_ptr<OpenDevice>> open_;
    std::map<DeviceHandle, DeviceHandle> thruTargets_; // source -> device, across parts
    DeviceHandle nextHandle_ = 1;
    MidiResult lastOpenFailure_ = 0;
};

// The back ends of this system: built-in synthesizer, ALSA, JACK.
std::unique_ptr<MidiBackend> CreateSystemBackend();

} // namespace midi_out
