#pragma once
// TMidiOutput: one MIDI output device of the platform, reached only through a
// MidiBackend. Counts, selects (by index or name), opens, closes and sends.

#include "midi_out/MidiBackend.h"
#include "midi_out/MidiDefs.h"
#include "midi_out/SharedMemory.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace common {
struct WakeMessage;
}

namespace midi_out {

class NotifyWindow;
using NotifyMessage = common::WakeMessage;
struct CircularEventBuffer;

class EmidioutputError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The block handed to the platform with DriverCallback; it comes from
// SharedAlloc and keeps its address until released.
struct MidiCtlInfo {
    SharedHandle BlockHandle;
    CircularEventBuffer *EventBuffer;
    NotifyWindow *Window;
    std::uint8_t DropShortInput;
};

// One long message in flight: the platform header and the message bytes, each
// in a shared block that keeps its address until the object is destroyed.
class TMyMidiHdr {
public:
    // Allocates both blocks for `length` bytes (none for 0). Raises
    // EmidioutputError, with nothing left allocated, when a block cannot be had.
    explicit TMyMidiHdr(std::uint16_t length);
    ~TMyMidiHdr();
    TMyMidiHdr(const TMyMidiHdr &) = delete;
    TMyMidiHdr &operator=(const TMyMidiHdr &) = delete;

    SharedHandle HeaderMem = 0;
    MIDIHDR *HeaderPtr = nullptr;
    SharedHandle DataMem = 0;
    std::uint8_t *DataPtr = nullptr;
};

// One event to send: a short message, or a long one when LongData is set.
struct MidiEventRecord {
    std::uint32_t Time = 0; // the caller's; sending ignores it
    std::uint8_t Status = 0;
    std::uint8_t Data1 = 0;
    std::uint8_t Data2 = 0;
    std::uint8_t Flags = 0; // the caller's; sending ignores it
    std::uint16_t LongLength = 0;
    const std::uint8_t *LongData = nullptr;
};

enum DeviceState : std::uint8_t { dsOpen = 0, dsClosed = 1 };

// The component-state flags that the component consults.
struct ComponentState {
    bool loading = false;
    // The device count is read when first asked for instead of at creation:
    // reading it asks the sound servers, which a window may do after it has
    // shown itself.
    bool countWhenAsked = false;
};

void DriverCallback(DeviceHandle device, std::uint32_t message, std::uintptr_t instance,
                    std::uintptr_t param1, std::uintptr_t param2);

class TMidiOutput {
public:
    explicit TMidiOutput(std::unique_ptr<MidiBackend> backend, ComponentState state = {});
    virtual ~TMidiOutput();
    TMidiOutput(const TMidiOutput &) = delete;
    TMidiOutput &operator=(const TMidiOutput &) = delete;

    std::int32_t DeviceID() const { return deviceId_; }
    void SetDeviceID(std::int32_t value);
    // The back end's device list was read anew and the device in use, open
    // or not, now has the number `value`: takes it without closing, so that
    // nothing sounding on it is cut.
    void FollowRenumberedDevice(std::int32_t value);
    const std::string &ProductName() const { return productName_; }
    void SetProductName(const std::string &value);

    // Virtual in this order; SendEvent reaches both sends through their slots.
    virtual bool OpenDevice();
    virtual bool CloseDevice();
    virtual void SendEvent(const MidiEventRecord &event);
    virtual void SendShortMessage(std::uint8_t status, std::uint8_t data1, std::uint8_t data2);
    // Copies the bytes and queues them; returns without waiting. Onmidioutput
    // follows once the back end is done with them.
    virtual void SendLongMessage(const void *bytes, std::uint16_t length);

    // Silences everything the device sounds. The open device stays open
    // where the back end can silence it in place; a closed one, or one that
    // cannot be silenced in place (gone, or a back end that cannot tell), is
    // closed and opened again, which also finds a port that came back.
    // Raises when that close fails; a failed open shows on the next send.
    void SilenceDevice();
    // The text of the failure the open device's sends now meet because it
    // went (its server ended); none while it is closed or known to work.
    std::optional<std::string> LostText();

    std::uint16_t DeviceCount() const
    {
        if (!deviceCount_)
            deviceCount_ = static_cast<std::uint16_t>(backend_->DeviceCount());
        return *deviceCount_;
    }
    DeviceState State() const { return state_; }
    std::uint16_t LastResult() const { return lastResult_; }
    DeviceHandle Handle() const { return deviceHandle_; }
    MidiCtlInfo *CtlBlock() const { return ctlBlock_; }
    NotifyWindow *GetNotifyWindow() const { return notifyWindow_.get(); }
    std::uint32_t CapsDriverVersion() const { return capsDriverVersion_; }
    std::uint8_t CapsTechnology() const { return capsTechnology_; }
    std::uint16_t CapsVoices() const { return capsVoices_; }
    std::uint16_t CapsNotes() const { return capsNotes_; }
    std::uint16_t CapsChannelMask() const { return capsChannelMask_; }
    std::uint32_t CapsSupport() const { return capsSupport_; }

    ComponentState &GetComponentState() { return componentState_; }
    MidiBackend &Backend() { return *backend_; }
    // Long messages sent whose buffers are not yet released.
    std::size_t LongMessagesInFlight() const { return inFlight_.size(); }

    // Called after a long message has finished.
    std::function<void(TMidiOutput *sender)> Onmidioutput;

protected:
    std::string PlatformErrorText(std::uint16_t code);
    void NotifyHandler(const NotifyMessage &message);

private:
    [[noreturn]] void RaisePlatformError();
    // SetDeviceID's work, open or not.
    void TakeDeviceID(std::int32_t value);
    // Frees the buffers that the back end will no longer report: after a
    // close, those it never finished; at destruction, all.
    void ReleaseUnfinished(bool all);
    // Stores the low 16 bits of `result`; true when it is an error.
    bool Failed(MidiResult result);

    std::unique_ptr<MidiBackend> backend_;
    ComponentState componentState_;
    std::unique_ptr<NotifyWindow> notifyWindow_;
    std::int32_t deviceId_ = 0;
    DeviceHandle deviceHandle_ = 0;
    DeviceState state_ = dsClosed;
    MidiCtlInfo *ctlBlock_ = nullptr;
    std::uint16_t lastResult_ = 0;
    std::uint32_t capsDriverVersion_ = 0;
    std::string productName_;
    std::uint8_t capsTechnology_ = 0;
    std::uint16_t capsVoices_ = 0;
    std::uint16_t capsNotes_ = 0;
    std::uint16_t capsChannelMask_ = 0;
    std::uint32_t capsSupport_ = 0;
    mutable std::optional<std::uint16_t> deviceCount_;
    // Main thread only. A completion notice is honoured only for a header
    // found here, so a stray or late notice never touches freed memory.
    std::vector<std::unique_ptr<TMyMidiHdr>> inFlight_;
};

} // namespace midi_out
