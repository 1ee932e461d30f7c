#pragma once
// TMidiInput: one MIDI source, reached through the output component's back
// end. The back end's thread only appends to the event buffer and posts
// (DriverCallback); the main thread drains the buffer when the notice
// arrives and hands each message to the handlers.

#include "midi_out/Circbuf.h"
#include "midi_out/MidiBackend.h"
#include "midi_out/MidiOut.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

namespace common {
struct WakeMessage;
}

namespace midi_out {

class NotifyWindow;
using NotifyMessage = common::WakeMessage;

class TMidiInput {
public:
    static constexpr std::uint16_t BufferCapacity = 1024;

    struct Handlers {
        // A short message as packed by the driver (status | data1 << 8 |
        // data2 << 16). `forwarded`: the device has it already (MIDI thru).
        std::function<void(std::uint32_t message, bool forwarded)> shortMessage;
        // A complete system exclusive message.
        std::function<void(const std::uint8_t *bytes, std::size_t length, bool forwarded)> longMessage;
        // The source went away; the input is closed already.
        std::function<void()> sourceGone;
    };

    // `backend` must outlive the component.
    TMidiInput(MidiBackend &backend, Handlers handlers);
    ~TMidiInput();
    TMidiInput(const TMidiInput &) = delete;
    TMidiInput &operator=(const TMidiInput &) = delete;

    // Closes what is open and opens source `inputId`; false when the back
    // end refuses (LastResult holds its code).
    bool Open(std::int32_t inputId);
    // Closes the source; messages still buffered are dropped. Raises
    // EmidioutputError when the back end fails to close.
    void Close();
    bool IsOpen() const { return handle_ != 0; }
    // The source open now; -1 when none.
    std::int32_t InputID() const { return IsOpen() ? inputId_ : -1; }
    // The source list was read anew and the open source now has this number.
    void FollowRenumberedInput(std::int32_t inputId) { inputId_ = inputId; }

    // MIDI thru: what arrives goes on to `device`'s open device from the
    // back end's own thread where the back end can do that, and reaches the
    // handlers marked forwarded. The device may be opened, closed and
    // changed meanwhile: FollowThru takes up the device open now, and every
    // drain does so first. Null: no thru.
    void ForwardTo(const TMidiOutput *device);
    void FollowThru();
    // Whether the back end forwards to the device open now.
    bool Forwarding() const { return thruActive_; }
    std::uint16_t LastResult() const { return lastResult_; }
    // Messages lost because the buffer was full or a long message found no header.
    std::uint32_t Dropped() const { return dropped_ + buffer_.Lost.load(std::memory_order_relaxed); }

    // Hands every buffered message to the handlers, oldest first. A
    // handler's error does not stop the others; the first one is raised at
    // the end.
    void Drain();

    MidiCtlInfo &CtlBlock() { return ctl_; }
    NotifyWindow *GetNotifyWindow() const { return notifyWindow_.get(); }

private:
    void NotifyHandler(const NotifyMessage &message);
    void Dispatch(const BufferedMidiEvent &event);

    MidiBackend &backend_;
    Handlers handlers_;
    const TMidiOutput *thruDevice_ = nullptr;
    DeviceHandle thruHandle_ = 0; // the device handle the thru was last asked for
    bool thruActive_ = false;
    // A message the back end could not forward came unmarked: the thru has
    // ended and is set again once the drain has sent it.
    bool thruLapsed_ = false;
    std::unique_ptr<NotifyWindow> notifyWindow_;
    std::array<BufferedMidiEvent, BufferCapacity> storage_{};
    CircularEventBuffer buffer_{};
    MidiCtlInfo ctl_{};
    DeviceHandle handle_ = 0;
    std::int32_t inputId_ = -1;
    std::uint16_t lastResult_ = 0;
    std::uint32_t dropped_ = 0;
    // Losses are told once per opening, with the count so far: a flood
    // would otherwise bury the window in message boxes.
    bool overflowReported_ = false;
};

} // namespace midi_out
