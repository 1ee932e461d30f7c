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
            info->Window->Backend()->Post(info->Window, MOM_DONE, 0, param1);
        return;
    }
    // Input notices buffer only when an input event buffer is attached, which
    // an output device never has; everything else is ignored.
}

TMidiOutput::TMidiOutput(std::unique_ptr<MidiBackend> backend, ComponentState state)
    : backend_(std::move(backend)), componentState_(state)
{
    state_ = dsClosed;
    deviceCount_ = static_cast<std::uint16_t>(backend_->DeviceCount());
    if (!componentState_.designing)
        notifyWindow_ = std::make_unique<NotifyWindow>(
            backend_.get(), [this](const NotifyMessage &message) { NotifyHandler(message); });
}

TMidiOutput::~TMidiOutput()
{
    if (state_ == dsOpen) {
        // A destructor cannot raise: a device that refuses to close is
        // abandoned, the block stays with the driver rather than freed under it.
        if (Failed(backend_->Close(deviceHandle_)))
            ctlBlock_ = nullptr;
        else
            state_ = dsClosed;
    }
    if (ctlBlock_ != nullptr)
        SharedFree(ctlBlock_->BlockHandle);
    notifyWindow_.reset();
}

bool TMidiOutput::Failed(MidiResult result)
{
    lastResult_ = static_cast<std::uint16_t>(result & 0xFFFF);
    return lastResult_ != 0;
}

void TMidiOutput::RaisePlatformError()
{
    throw EmidioutputError(PlatformErrorText(lastResult_));
}

void TMidiOutput::SetDeviceID(std::int32_t value)
{
    if (state_ == dsOpen)
        throw EmidioutputError("Change to DeviceID while device was open");
    const std::uint32_t count = backend_->DeviceCount();
    if (value != MIDI_MAPPER && (value < 0 || static_cast<std::uint32_t>(value) >= count))
        throw EmidioutputError("Invalid device ID");
    deviceId_ = value;
    MidiOutCaps caps;
    if (Failed(backend_->GetDevCaps(value, &caps, sizeof caps)))
        RaisePlatformError();
    productName_.assign(caps.szPname, strnlen(caps.szPname, sizeof caps.szPname));
    capsDriverVersion_ = caps.vDriverVersion;
    capsTechnology_ = static_cast<std::uint8_t>(caps.wTechnology & 0xFF);
    capsVoices_ = caps.wVoices;
    capsNotes_ = caps.wNotes;
    capsChannelMask_ = caps.wChannelMask;
    capsSupport_ = caps.dwSupport;
}

void TMidiOutput::SetProductName(const std::string &value)
{
    if (state_ == dsOpen)
        throw EmidioutputError("Change to ProductName while device was open");
    if (componentState_.loading)
        return;
    const std::uint32_t count = backend_->DeviceCount();
    // The mapper comes first, so it wins over a device of the same name.
    for (std::int64_t i = MIDI_MAPPER; i < static_cast<std::int64_t>(count); ++i) {
        MidiOutCaps caps;
        if (Failed(backend_->GetDevCaps(static_cast<std::int32_t>(i), &caps, sizeof caps)))
            RaisePlatformError();
        const std::string name(caps.szPname, strnlen(caps.szPname, sizeof caps.szPname));
        if (name == value) {
            productName_ = value;
            SetDeviceID(static_cast<std::int32_t>(i));
            return;
        }
    }
    throw EmidioutputError("MIDI output Device " + value + " not installed");
}

bool TMidiOutput::OpenDevice()
{
    bool ok = true;
    if (ctlBlock_ == nullptr) {
        SharedHandle handle = 0;
        ctlBlock_ = static_cast<MidiCtlInfo *>(SharedAlloc(sizeof(MidiCtlInfo), handle));
        if (ctlBlock_ != nullptr)
            ctlBlock_->BlockHandle = handle;
        else
            ok = false;
    }
    if (ok) {
        ctlBlock_->Window = notifyWindow_.get();
        DeviceHandle handle = 0;
        const MidiResult result = backend_->Open(&handle, deviceId_, &DriverCallback,
                                                 reinterpret_cast<std::uintptr_t>(ctlBlock_),
                                                 CALLBACK_FUNCTION);
        if (!Failed(result)) {
            deviceHandle_ = handle;
            state_ = dsOpen;
            return true;
        }
    }
    if (ctlBlock_ != nullptr) {
        SharedFree(ctlBlock_->BlockHandle);
        ctlBlock_ = nullptr;
    }
    return false;
}

bool TMidiOutput::CloseDevice()
{
    const bool wasOpen = state_ == dsOpen;
    if (wasOpen && Failed(backend_->Close(deviceHandle_)))
        RaisePlatformError();
    deviceHandle_ = 0;
    state_ = dsClosed;
    return wasOpen;
}

void TMidiOutput::SendShortMessage(std::uint8_t status, std::uint8_t data1, std::uint8_t data2)
{
    const std::uint32_t packed = std::uint32_t{status} | std::uint32_t{data1} << 8 | std::uint32_t{data2} << 16;
    if (Failed(backend_->ShortMessage(deviceHandle_, packed)))
        RaisePlatformError();
}

std::string TMidiOutput::PlatformErrorText(std::uint16_t code)
{
    char buffer[ErrorTextSize] = {};
    if (backend_->GetErrorText(code, buffer, sizeof buffer) != 0)
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
