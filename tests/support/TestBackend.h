#pragma once
// A back end for tests: reports whatever devices it is given, records every
// call, and fails any operation on request. The program never selects it.

#include "midi_out/InputHeaders.h"
#include "midi_out/MidiBackend.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace midi_out {

class TestBackend : public MidiBackend {
public:
    enum class Op {
        DeviceCount, GetDevCaps, GetErrorText, Open, Close, ShortMessage, Post,
        PrepareHeader, LongMessage, UnprepareHeader, OpenInput, CloseInput, Silence
    };
    // When a queued long message is reported done: during LongMessage itself,
    // when the test calls CompletePending, or never.
    enum class Completion { AtOnce, Later, Never };

    struct Call {
        Op op;
        std::int32_t deviceId = 0;     // GetDevCaps, Open
        DeviceHandle handle = 0;       // Open (the handle given out), Close, Silence, ShortMessage
        std::uint32_t value = 0;       // ShortMessage: packed message; Post: message number;
                                       // GetErrorText: code; Open: flags
        std::uintptr_t param1 = 0;     // Post; Open: instance value
        std::uintptr_t param2 = 0;     // Post
        // The header steps: value is the size, param1 the header's address;
        // LongMessage also keeps a copy of the bytes.
        std::vector<std::uint8_t> bytes = {};
    };

    TestBackend() = default;
    // Devices 0 .. names.size() - 1 with the given names; the mapper reports
    // the first device's capabilities under `mapperName` (or fails when none).
    explicit TestBackend(std::vector<std::string> names,
                         std::optional<std::string> mapperName = std::string("Test Mapper"));

    static MidiOutCaps Caps(const std::string &name, std::uint16_t technology = MOD_MIDIPORT);

    // What the back end reports.
    std::vector<MidiOutCaps> devices;
    std::optional<MidiOutCaps> mapper;
    // Error texts of this back end; codes missing here have none.
    std::map<MidiResult, std::string> errorTexts;

    // Result to return from an operation instead of doing it; 0 means succeed.
    std::map<Op, MidiResult> failures;
    // Fail the capability read for one device index only.
    std::map<std::int32_t, MidiResult> devCapsFailures;

    // The devices open now are lost, as an unplugged port or a dead server
    // loses them: every send on them answers `reason` until they are closed;
    // a device opened afterwards works.
    void LoseOpenDevices(MidiResult reason);

    // Every call, in order (guarded: Post may come from any thread).
    std::vector<Call> Calls() const;
    std::vector<Call> CallsOf(Op op) const;
    void ClearCalls();
    // Packed short messages sent on each handle, in order.
    std::vector<std::uint32_t> SentShortMessages() const;
    // Handles currently open.
    std::vector<DeviceHandle> OpenHandles() const;

    Completion completion = Completion::AtOnce;
    // Reports the oldest `count` queued long messages done, each through the
    // callback of its device, on the calling thread; returns how many.
    std::size_t CompletePending(std::size_t count = SIZE_MAX);
    std::size_t PendingCount() const;
    // The bytes of every long message queued, in order.
    std::vector<std::vector<std::uint8_t>> SentLongMessages() const;

    // Sees every call as it is made; outlives the back end if the test keeps
    // what it captures (the component owns and destroys its back end).
    std::function<void(const Call &)> observer;

    // The callback and instance value registered by the last open.
    DriverCallbackProc lastCallback = nullptr;
    std::uintptr_t lastInstance = 0;

    // The sources it lists, by name.
    std::vector<std::string> sources;
    // Plays one message into every open input, as the platform's thread
    // would: through the registered callback, on the calling thread.
    void PlayInput(const std::vector<std::uint8_t> &bytes, std::uint32_t timestamp = 0);
    // Every open source goes away, as an unplugged keyboard does.
    void LoseSources();
    // Whether SetThru takes a device and ThruTargetOf gives one: then each
    // thru message played, or forwarded here from another back end's
    // source, lands in Forwarded() and is delivered marked.
    bool forwards = false;
    // The target refuses what comes from other back ends' sources.
    std::atomic<bool> refuseForwards{false};
    std::vector<std::vector<std::uint8_t>> Forwarded() const;
    bool SetThru(DeviceHandle input, DeviceHandle output) override;
    ThruTarget *ThruTargetOf(DeviceHandle output) override;
    bool SetThruTarget(DeviceHandle input, ThruTarget *target) override;

    std::uint32_t InputCount() override;
    MidiResult GetInputName(std::int32_t inputId, std::string *name) override;
    MidiResult OpenInput(DeviceHandle *handle, std::int32_t inputId, DriverCallbackProc callback,
                         std::uintptr_t instance) override;
    MidiResult CloseInput(DeviceHandle handle) override;

    std::uint32_t DeviceCount() override;
    MidiResult GetDevCaps(std::int32_t deviceId, MidiOutCaps *caps, std::uint32_t size) override;
    MidiResult GetErrorText(MidiResult code, char *text, std::uint32_t size) override;
    MidiResult Open(DeviceHandle *handle, std::int32_t deviceId, DriverCallbackProc callback,
                    std::uintptr_t instance, std::uint32_t flags) override;
    MidiResult Close(DeviceHandle handle) override;
    // Silences in place: fails as a send does on a lost device.
    MidiResult Silence(DeviceHandle handle) override;
    MidiResult Lost(DeviceHandle handle) override { return LostReason(handle); }
    MidiResult ShortMessage(DeviceHandle handle, std::uint32_t message) override;
    bool Post(NotifyWindow *window, std::uint32_t message, std::uintptr_t param1,
              std::uintptr_t param2) noexcept override;
    MidiResult PrepareHeader(DeviceHandle handle, MIDIHDR *header, std::uint32_t size) override;
    MidiResult LongMessage(DeviceHandle handle, MIDIHDR *header, std::uint32_t size) override;
    MidiResult UnprepareHeader(DeviceHandle handle, MIDIHDR *header, std::uint32_t size) override;

private:
    void Record(const Call &call);
    MidiResult FailureFor(Op op) const;

    mutable std::mutex mutex_;
    std::vector<Call> calls_;
    struct OpenDevice {
        std::int32_t deviceId;
        DriverCallbackProc callback;
        std::uintptr_t instance;
    };
    struct Pending {
        DeviceHandle handle;
        MIDIHDR *header;
    };
    bool IsOpen(DeviceHandle handle) const;
    std::map<DeviceHandle, OpenDevice> InputsOpen() const;
    MidiResult LostReason(DeviceHandle handle) const;

    std::map<DeviceHandle, OpenDevice> open_;
    std::map<DeviceHandle, DeviceHandle> thru_; // input -> device
    std::map<DeviceHandle, std::unique_ptr<ThruSlot>> slots_; // input -> another back end's device
    std::vector<std::vector<std::uint8_t>> forwarded_;
    class Target final : public ThruTarget {
    public:
        explicit Target(TestBackend &owner) : owner_(owner) {}
        bool Forward(const std::uint8_t *bytes, std::size_t length) noexcept override;

    private:
        TestBackend &owner_;
    };
    Target target_{*this};
    std::map<DeviceHandle, OpenDevice> openInputs_;
    InputHeaderPool inputHeaders_;
    std::map<DeviceHandle, MidiResult> lost_;
    std::vector<Pending> pending_;
    DeviceHandle nextHandle_ = 0x100;
};

} // namespace midi_out
