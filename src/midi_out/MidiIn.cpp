#include "midi_out/MidiIn.h"

#include "midi_out/InputHeaders.h"
#include "midi_out/MidiErrors.h"
#include "midi_out/NotifyWindow.h"

#include <exception>
#include <string>

namespace midi_out {

TMidiInput::TMidiInput(MidiBackend &backend, Handlers handlers)
    : backend_(backend), handlers_(std::move(handlers))
{
    notifyWindow_ = std::make_unique<NotifyWindow>(
        &backend_, [this](const NotifyMessage &message) { NotifyHandler(message); });
    InitEventBuffer(buffer_, storage_.data(), BufferCapacity);
    ctl_.EventBuffer = &buffer_;
    ctl_.Window = notifyWindow_.get();
}

TMidiInput::~TMidiInput()
{
    if (IsOpen())
        backend_.CloseInput(handle_);
    handle_ = 0;
}

bool TMidiInput::Open(std::int32_t inputId)
{
    Close();
    DeviceHandle handle = 0;
    const MidiResult result =
        backend_.OpenInput(&handle, inputId, &DriverCallback, reinterpret_cast<std::uintptr_t>(&ctl_));
    lastResult_ = static_cast<std::uint16_t>(result & 0xFFFF);
    if (lastResult_ != 0)
        return false;
    handle_ = handle;
    inputId_ = inputId;
    overflowReported_ = false;
    thruHandle_ = 0;
    thruActive_ = false;
    FollowThru();
    return true;
}

void TMidiInput::ForwardTo(const TMidiOutput *device)
{
    thruDevice_ = device;
    FollowThru();
}

void TMidiInput::FollowThru()
{
    const DeviceHandle wanted = thruDevice_ != nullptr && IsOpen() ? thruDevice_->Handle() : 0;
    if (!IsOpen() || wanted == thruHandle_)
        return;
    // A device closed since has ended the thru to it already; one that is
    // now open instead takes it up, or the handlers send as without thru.
    thruHandle_ = wanted;
    thruActive_ = backend_.SetThru(handle_, wanted) && wanted != 0;
}

void TMidiInput::Close()
{
    if (!IsOpen())
        return;
    const MidiResult result = backend_.CloseInput(handle_);
    lastResult_ = static_cast<std::uint16_t>(result & 0xFFFF);
    if (lastResult_ != 0) {
        char text[ErrorTextSize];
        backend_.GetErrorText(lastResult_, text, sizeof text);
        text[sizeof text - 1] = '\0';
        throw EmidioutputError(text);
    }
    handle_ = 0;
    thruHandle_ = 0;
    thruActive_ = false;
    // No callback comes any more: what is still buffered (headers included,
    // which went with the back end's pool) is dropped unread.
    dropped_ += buffer_.Lost.load(std::memory_order_relaxed);
    InitEventBuffer(buffer_, storage_.data(), BufferCapacity);
}

void TMidiInput::NotifyHandler(const NotifyMessage &message)
{
    switch (message.message) {
    case MIM_DATA:
    case WM_USER:
        Drain();
        if (Dropped() != 0 && !overflowReported_) {
            overflowReported_ = true;
            throw EmidioutputError("MIDI input buffer full: " + std::to_string(Dropped()) +
                                   " messages dropped");
        }
        break;
    case MIM_SOURCEGONE:
        // A notice of a source closed since then concerns nothing open now.
        if (!IsOpen())
            break;
        Close();
        if (handlers_.sourceGone)
            handlers_.sourceGone();
        break;
    default:
        break;
    }
}

void TMidiInput::Drain()
{
    FollowThru();
    std::exception_ptr first;
    while (buffer_.Count.load(std::memory_order_acquire) > 0) {
        const BufferedMidiEvent event = *buffer_.ReadPosition;
        if (++buffer_.ReadPosition == buffer_.End)
            buffer_.ReadPosition = buffer_.Start;
        buffer_.Count.fetch_sub(1, std::memory_order_release);
        try {
            Dispatch(event);
        } catch (...) {
            if (!first)
                first = std::current_exception();
        }
    }
    // What the thru left to us has gone out (or failed as any send): the
    // messages after it may take the short way again.
    if (thruLapsed_ && IsOpen() && thruActive_)
        thruActive_ = backend_.SetThru(handle_, thruHandle_);
    thruLapsed_ = false;
    if (first)
        std::rethrow_exception(first);
}

void TMidiInput::Dispatch(const BufferedMidiEvent &event)
{
    if (event.LongHeader != 0) {
        auto *header = reinterpret_cast<MIDIHDR *>(event.LongHeader);
        struct GiveBack {
            MIDIHDR *header;
            ~GiveBack() { ReturnInputHeader(header); }
        } giveBack{header};
        const bool forwarded = header->dwUser == ForwardedInput;
        if (!forwarded && IsThruMessage(header->lpData, header->dwBytesRecorded))
            thruLapsed_ = true;
        if (handlers_.longMessage)
            handlers_.longMessage(header->lpData, header->dwBytesRecorded, forwarded);
        return;
    }
    if (event.ShortMessage == 0) {
        ++dropped_; // a long message that found no header
        return;
    }
    const bool forwarded = (event.ShortMessage & ForwardedInput) != 0;
    const auto status = static_cast<std::uint8_t>(event.ShortMessage);
    if (!forwarded && status >= 0x80 && status < 0xF0)
        thruLapsed_ = true;
    if (handlers_.shortMessage)
        handlers_.shortMessage(event.ShortMessage & ~ForwardedInput, forwarded);
}

} // namespace midi_out
