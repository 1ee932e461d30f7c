#include "midi_out/MidiOut.h"

#include "midi_out/NotifyWindow.h"

#include <cstring>

namespace midi_out {

void DriverCallback(DeviceHandle /*device*/, std::uint32_t message, std::uintptr_t instance,
                    std::uintptr_t param1, std::uintptr_t /*param2*/)
{
    // Runs on a platform thread: nothing but the post, no allocation, no lock.
    auto *info = reinterpret_cast<MidiCtlInfo *>(instance);
    if (message == MOM_DONE) {
        if (info != nullptr && info->Window != nullptr)
            info->Window->backend()->Post(info->Window, MOM_DONE, 0, param1);
        return;
    }
    // Input notices buffer only when an input event buffer is attached, which
    // an output device never has; everything else is ignored.
}

TMidiOutput::TMidiOutput(std::unique_ptr<MidiBackend> backend, ComponentState state)
    : FBackend(std::move(backend)), FComponentState(state)
{
    FState = dsClosed;
    FDeviceCount = static_cast<std::uint16_t>(FBackend->DeviceCount());
    if (!FComponentState.designing)
        FNotifyWindow = std::make_unique<NotifyWindow>(
            FBackend.get(), [this](const NotifyMessage &message) { NotifyHandler(message); });
}

TMidiOutput::~TMidiOutput()
{
    if (FState == dsOpen) {
        // A destructor cannot raise: a device that refuses to close is
        // abandoned, the block stays with the driver rather than freed under it.
        if (Failed(FBackend->Close(FDeviceHandle)))
            FCtlBlock = nullptr;
        else
            FState = dsClosed;
    }
    if (FCtlBlock != nullptr)
        SharedFree(FCtlBlock->BlockHandle);
    FNotifyWindow.reset();
}

bool TMidiOutput::Failed(MidiResult result)
{
    FLastResult = static_cast<std::uint16_t>(result & 0xFFFF);
    return FLastResult != 0;
}

void TMidiOutput::RaisePlatformError()
{
    throw EmidioutputError(PlatformErrorText(FLastResult));
}

void TMidiOutput::SetDeviceID(std::int32_t value)
{
    if (FState == dsOpen)
        throw EmidioutputError("Change to DeviceID while device was open");
    const std::uint32_t count = FBackend->DeviceCount();
    if (value != MIDI_MAPPER && (value < 0 || static_cast<std::uint32_t>(value) >= count))
        throw EmidioutputError("Invalid device ID");
    FDeviceID = value;
    MidiOutCaps caps;
    if (Failed(FBackend->GetDevCaps(value, &caps, sizeof caps)))
        RaisePlatformError();
    FProductName.assign(caps.szPname, strnlen(caps.szPname, sizeof caps.szPname));
    FCapsDriverVersion = caps.vDriverVersion;
    FCapsTechnology = static_cast<std::uint8_t>(caps.wTechnology & 0xFF);
    FCapsVoices = caps.wVoices;
    FCapsNotes = caps.wNotes;
    FCapsChannelMask = caps.wChannelMask;
    FCapsSupport = caps.dwSupport;
}

void TMidiOutput::SetProductName(const std::string &value)
{
    if (FState == dsOpen)
        throw EmidioutputError("Change to ProductName while device was open");
    if (FComponentState.loading)
        return;
    const std::uint32_t count = FBackend->DeviceCount();
    // The mapper comes first, so it wins over a device of the same name.
    for (std::int64_t i = MIDI_MAPPER; i < static_cast<std::int64_t>(count); ++i) {
        MidiOutCaps caps;
        if (Failed(FBackend->GetDevCaps(static_cast<std::int32_t>(i), &caps, sizeof caps)))
            RaisePlatformError();
        const std::string name(caps.szPname, strnlen(caps.szPname, sizeof caps.szPname));
        if (name == value) {
            FProductName = value;
            SetDeviceID(static_cast<std::int32_t>(i));
            return;
        }
    }
    throw EmidioutputError("MIDI output Device " + value + " not installed");
}

bool TMidiOutput::OpenDevice()
{
    bool ok = true;
    if (FCtlBlock == nullptr) {
        SharedHandle handle = 0;
        FCtlBlock = static_cast<MidiCtlInfo *>(SharedAlloc(sizeof(MidiCtlInfo), handle));
        if (FCtlBlock != nullptr)
            FCtlBlock->BlockHandle = handle;
        else
            ok = false;
    }
    if (ok) {
        FCtlBlock->Window = FNotifyWindow.get();
        DeviceHandle handle = 0;
        const MidiResult result = FBackend->Open(&handle, FDeviceID, &DriverCallback,
                                                 reinterpret_cast<std::uintptr_t>(FCtlBlock),
                                                 CALLBACK_FUNCTION);
        if (!Failed(result)) {
            FDeviceHandle = handle;
            FState = dsOpen;
            return true;
        }
    }
    if (FCtlBlock != nullptr) {
        SharedFree(FCtlBlock->BlockHandle);
        FCtlBlock = nullptr;
    }
    return false;
}

bool TMidiOutput::CloseDevice()
{
    const bool wasOpen = FState == dsOpen;
    if (wasOpen && Failed(FBackend->Close(FDeviceHandle)))
        RaisePlatformError();
    FDeviceHandle = 0;
    FState = dsClosed;
    return wasOpen;
}

void TMidiOutput::SendShortMessage(std::uint8_t status, std::uint8_t data1, std::uint8_t data2)
{
    const std::uint32_t packed = std::uint32_t{status} | std::uint32_t{data1} << 8 | std::uint32_t{data2} << 16;
    if (Failed(FBackend->ShortMessage(FDeviceHandle, packed)))
        RaisePlatformError();
}

std::string TMidiOutput::PlatformErrorText(std::uint16_t code)
{
    char buffer[ErrorTextSize] = {};
    if (FBackend->GetErrorText(code, buffer, sizeof buffer) != 0)
        return "Specified error number is out of range";
    buffer[sizeof buffer - 1] = '\0';
    return std::string(buffer);
}

void TMidiOutput::NotifyHandler(const NotifyMessage & /*message*/)
{
    // Completion notices of long messages are handled here once long
    // messages are supported; every other notice is ignored.
}

} // namespace midi_out
