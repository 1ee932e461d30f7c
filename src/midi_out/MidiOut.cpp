#include "midi_out/MidiOut.h"

#include "midi_out/Circbuf.h"
#include "midi_out/MidiErrors.h"
#include "midi_out/NotifyWindow.h"

#include <algorithm>
#include <atomic>
#include <cstring>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

namespace midi_out {

namespace {

constexpr std::uintptr_t ActiveSensing = 0xFE;
constexpr std::uintptr_t TimingClock = 0xF8;

bool Post(MidiCtlInfo *info, std::uint32_t message, std::uintptr_t param1, std::uintptr_t param2)
{
    // Read once and atomically: a component abandoning a device that would
    // not close clears the field while the driver may still call.
    NotifyWindow *window =
        std::atomic_ref<NotifyWindow *>(info->Window).load(std::memory_order_acquire);
    return window != nullptr && window->Backend()->Post(window, message, param1, param2);
}

// Raised without asking the back end: the send never reached it.
[[noreturn]] void RaiseErrorText(MidiResult code)
{
    char text[ErrorTextSize];
    CopyErrorText(code, text, sizeof text);
    throw EmidioutputError(text);
}

// Memory left to a driver that may still use it is not a leak; a leak check
// is told so.
void AbandonToDriver([[maybe_unused]] const void *block)
{
#if defined(__SANITIZE_ADDRESS__)
    if (block != nullptr)
        __lsan_ignore_object(block);
#endif
}

} // namespace

void DriverCallback(DeviceHandle /*device*/, std::uint32_t message, std::uintptr_t instance,
                    std::uintptr_t param1, std::uintptr_t param2)
{
    // Runs on a platform thread: one post (and for input one append), no
    // allocation, no lock.
    auto *info = reinterpret_cast<MidiCtlInfo *>(instance);
    if (message == MOM_DONE) {
        if (info != nullptr)
            Post(info, MOM_DONE, 0, param1);
        return;
    }
    if (message == MIM_SOURCEGONE) {
        if (info != nullptr)
            Post(info, MIM_SOURCEGONE, 0, 0);
        return;
    }
    if (message != MIM_DATA && message != MIM_LONGDATA && message != MIM_LONGERROR)
        return;
    // Only a notice that is that single status byte is dropped.
    if (param1 == ActiveSensing || param1 == TimingClock)
        return;
    if (info == nullptr || info->EventBuffer == nullptr)
        return;
    if (message == MIM_DATA && info->DropShortInput != 0)
        return;
    BufferedMidiEvent event;
    event.Timestamp = static_cast<std::uint32_t>(param2);
    event.ShortMessage = message == MIM_DATA ? static_cast<std::uint32_t>(param1) : 0;
    event.LongHeader = message == MIM_DATA ? 0 : param1;
    // Long input is announced as MIM_DATA too: the reader tells them apart.
    if (AppendEvent(*info->EventBuffer, event)) {
        Post(info, MIM_DATA, 0, 0);
    } else {
        info->EventBuffer->Lost.fetch_add(1, std::memory_order_relaxed);
        Post(info, WM_USER, 0, 0);
    }
}

TMyMidiHdr::TMyMidiHdr(std::uint16_t length)
{
    if (length == 0)
        return;
    HeaderPtr = static_cast<MIDIHDR *>(SharedAlloc(MidiHdrSize, HeaderMem));
    if (HeaderPtr != nullptr)
        DataPtr = static_cast<std::uint8_t *>(SharedAlloc(length, DataMem));
    if (DataPtr == nullptr) {
        SharedFree(HeaderMem);
        RaiseErrorText(MIDIERR_NOMEM);
    }
    HeaderPtr->lpData = DataPtr;
    HeaderPtr->dwBufferLength = length;
}

TMyMidiHdr::~TMyMidiHdr()
{
    SharedFree(HeaderMem);
    SharedFree(DataMem);
}

TMidiOutput::TMidiOutput(std::unique_ptr<MidiBackend> backend, ComponentState state)
    : backend_(std::move(backend)), componentState_(state)
{
    state_ = dsClosed;
    if (!componentState_.countWhenAsked)
        deviceCount_ = static_cast<std::uint16_t>(backend_->DeviceCount());
    notifyWindow_ = std::make_unique<NotifyWindow>(
        backend_.get(), [this](const NotifyMessage &message) { NotifyHandler(message); });
}

TMidiOutput::~TMidiOutput()
{
    if (state_ == dsOpen) {
        // A destructor cannot raise: a device that refuses to close is
        // abandoned, the block and the buffers stay with the driver rather
        // than freed under it.
        if (Failed(backend_->Close(deviceHandle_))) {
            // The notification window goes with the component: the driver
            // must find no window to post to rather than a freed one.
            if (ctlBlock_ != nullptr)
                std::atomic_ref<NotifyWindow *>(ctlBlock_->Window)
                    .store(nullptr, std::memory_order_release);
            AbandonToDriver(ctlBlock_);
            ctlBlock_ = nullptr;
            for (auto &buffer : inFlight_)
                AbandonToDriver(buffer.release());
        } else {
            state_ = dsClosed;
        }
    }
    // Notices still queued for these buffers die with the window unhandled,
    // so no Onmidioutput comes after destruction.
    ReleaseUnfinished(true);
    if (ctlBlock_ != nullptr)
        SharedFree(ctlBlock_->BlockHandle);
    notifyWindow_.reset();
}

void TMidiOutput::ReleaseUnfinished(bool all)
{
    // A closed back end reports nothing more: a buffer it has not marked done
    // would never be released by a notice.
    std::erase_if(inFlight_, [all](const std::unique_ptr<TMyMidiHdr> &buffer) {
        return all || (HeaderFlags(buffer->HeaderPtr) & MHDR_DONE) == 0;
    });
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

void TMidiOutput::FollowRenumberedDevice(std::int32_t value) { TakeDeviceID(value); }

void TMidiOutput::SetDeviceID(std::int32_t value)
{
    if (state_ == dsOpen)
        throw EmidioutputError("Change to DeviceID while device was open");
    TakeDeviceID(value);
}

void TMidiOutput::TakeDeviceID(std::int32_t value)
{
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
    if (wasOpen)
        ReleaseUnfinished(false);
    return wasOpen;
}

void TMidiOutput::SilenceDevice()
{
    if (state_ == dsOpen && !Failed(backend_->Silence(deviceHandle_)))
        return;
    CloseDevice();
    OpenDevice();
}

std::optional<std::string> TMidiOutput::LostText()
{
    if (state_ != dsOpen)
        return std::nullopt;
    const MidiResult lost = backend_->Lost(deviceHandle_);
    if (lost == MIDIERR_NOERROR)
        return std::nullopt;
    return PlatformErrorText(static_cast<std::uint16_t>(lost & 0xFFFF));
}

void TMidiOutput::SendShortMessage(std::uint8_t status, std::uint8_t data1, std::uint8_t data2)
{
    const std::uint32_t packed = std::uint32_t{status} | std::uint32_t{data1} << 8 | std::uint32_t{data2} << 16;
    if (Failed(backend_->ShortMessage(deviceHandle_, packed)))
        RaisePlatformError();
}

void TMidiOutput::SendEvent(const MidiEventRecord &event)
{
    if (state_ != dsOpen)
        throw EmidioutputError("MIDI Output device not open");
    if (event.LongData == nullptr)
        SendShortMessage(event.Status, event.Data1, event.Data2);
    else
        SendLongMessage(event.LongData, event.LongLength);
}

void TMidiOutput::SendLongMessage(const void *bytes, std::uint16_t length)
{
    if (length == 0)
        throw EmidioutputError("A long message needs at least one byte");
    if (bytes == nullptr)
        RaiseErrorText(MIDIERR_INVALPARAM);
    // Reserve the bookkeeping first: once the back end holds the header,
    // nothing may fail before the buffer is recorded as in flight.
    if (inFlight_.size() == inFlight_.capacity())
        inFlight_.reserve(2 * inFlight_.size() + 4);
    auto buffer = std::make_unique<TMyMidiHdr>(length);
    std::memcpy(buffer->DataPtr, bytes, length);
    MIDIHDR *header = buffer->HeaderPtr;
    header->dwUser = reinterpret_cast<std::uintptr_t>(buffer.get());
    if (Failed(backend_->PrepareHeader(deviceHandle_, header, MidiHdrSize)))
        RaisePlatformError();
    const MidiResult sent = backend_->LongMessage(deviceHandle_, header, MidiHdrSize);
    if (Failed(sent)) {
        backend_->UnprepareHeader(deviceHandle_, header, MidiHdrSize);
        RaisePlatformError();
    }
    inFlight_.push_back(std::move(buffer));
}

std::string TMidiOutput::PlatformErrorText(std::uint16_t code)
{
    return backend_->ErrorText(code);
}

void TMidiOutput::NotifyHandler(const NotifyMessage &message)
{
    if (message.message != MOM_DONE)
        return;
    auto *header = reinterpret_cast<MIDIHDR *>(message.param2);
    const auto it = std::find_if(inFlight_.begin(), inFlight_.end(),
                                 [header](const auto &buffer) { return buffer->HeaderPtr == header; });
    if (it == inFlight_.end())
        return;
    // After a close the handle is none and the unprepare fails unseen; the
    // buffer goes all the same.
    backend_->UnprepareHeader(deviceHandle_, header, MidiHdrSize);
    const auto *owner = reinterpret_cast<const TMyMidiHdr *>(header->dwUser);
    if (owner == it->get())
        inFlight_.erase(it);
    if (Onmidioutput)
        Onmidioutput(this);
}

} // namespace midi_out
