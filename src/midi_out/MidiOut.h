#pragma once
// TMidiOutput: one MIDI output device of the platform, reached only through a
// MidiBackend. Counts, selects (by index or name), opens, closes and sends.

#include "midi_out/MidiBackend.h"
#include "midi_out/MidiDefs.h"
#include "midi_out/SharedMemory.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

namespace midi_out {

class NotifyWindow;
struct NotifyMessage;
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

enum DeviceState : std::uint8_t { dsOpen = 0, dsClosed = 1 };

// The component-state flags that the component consults.
struct ComponentState {
    bool loading = false;
    bool designing = false;
};

void DriverCallback(DeviceHandle device, std::uint32_t message, std::uintptr_t instance,
                    std::uintptr_t param1, std::uintptr_t param2);

class TMidiOutput {
public:
    explicit TMidiOutput(std::unique_ptr<MidiBackend> backend, ComponentState state = {});
    virtual ~TMidiOutput();
    TMidiOutput(const TMidiOutput &) = delete;
    TMidiOutput &operator=(const TMidiOutput &) = delete;

    std::int32_t DeviceID() const { return FDeviceID; }
    void SetDeviceID(std::int32_t value);
    const std::string &ProductName() const { return FProductName; }
    void SetProductName(const std::string &value);

    virtual bool OpenDevice();
    virtual bool CloseDevice();
    virtual void SendShortMessage(std::uint8_t status, std::uint8_t data1, std::uint8_t data2);

    std::uint16_t DeviceCount() const { return FDeviceCount; }
    DeviceState State() const { return FState; }
    std::uint16_t LastResult() const { return FLastResult; }
    DeviceHandle Handle() const { return FDeviceHandle; }
    MidiCtlInfo *CtlBlock() const { return FCtlBlock; }
    NotifyWindow *GetNotifyWindow() const { return FNotifyWindow.get(); }
    std::uint32_t CapsDriverVersion() const { return FCapsDriverVersion; }
    std::uint8_t CapsTechnology() const { return FCapsTechnology; }
    std::uint16_t CapsVoices() const { return FCapsVoices; }
    std::uint16_t CapsNotes() const { return FCapsNotes; }
    std::uint16_t CapsChannelMask() const { return FCapsChannelMask; }
    std::uint32_t CapsSupport() const { return FCapsSupport; }

    ComponentState &GetComponentState() { return FComponentState; }
    MidiBackend &Backend() { return *FBackend; }

    // Called after a long message has finished.
    std::function<void(TMidiOutput *sender)> Onmidioutput;

protected:
    std::string PlatformErrorText(std::uint16_t code);
    void NotifyHandler(const NotifyMessage &message);

private:
    [[noreturn]] void RaisePlatformError();
    // Stores the low 16 bits of `result`; true when it is an error.
    bool Failed(MidiResult result);

    std::unique_ptr<MidiBackend> FBackend;
    ComponentState FComponentState;
    std::unique_ptr<NotifyWindow> FNotifyWindow;
    std::int32_t FDeviceID = 0;
    DeviceHandle FDeviceHandle = 0;
    DeviceState FState = dsClosed;
    MidiCtlInfo *FCtlBlock = nullptr;
    std::uint16_t FLastResult = 0;
    std::uint32_t FCapsDriverVersion = 0;
    std::string FProductName;
    std::uint8_t FCapsTechnology = 0;
    std::uint16_t FCapsVoices = 0;
    std::uint16_t FCapsNotes = 0;
    std::uint16_t FCapsChannelMask = 0;
    std::uint32_t FCapsSupport = 0;
    std::uint16_t FDeviceCount = 0;
};

} // namespace midi_out
