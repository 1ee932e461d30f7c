#pragma once
// The one seam between the device component and the platform. Each back end
// (built-in synth, MIDI ports, the test back end) implements these operations
// with the same inputs and results; the component holds nothing else of the
// platform.

#include "midi_out/MidiDefs.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace midi_out {

class NotifyWindow;

// A device that takes MIDI thru from another back end's source: Forward
// sends one message (IsThruMessage) from the source's thread at once. It
// allocates nothing and waits on no lock of ours; false: not sent.
class ThruTarget {
public:
    virtual bool Forward(const std::uint8_t *bytes, std::size_t length) noexcept = 0;

protected:
    ~ThruTarget() = default;
};

class MidiBackend {
public:
    virtual ~MidiBackend() = default;

    // Enumerates the devices anew; until the next call, DeviceCount,
    // GetDevCaps and Open refer to this snapshot.
    virtual void RefreshDevices() {}
    // Number of output devices; valid indexes are 0 .. count - 1.
    virtual std::uint32_t DeviceCount() = 0;
    // Fills `caps` for `deviceId` (MIDI_MAPPER allowed); non-zero for an index
    // that names no device.
    virtual MidiResult GetDevCaps(std::int32_t deviceId, MidiOutCaps *caps, std::uint32_t size) = 0;
    // Zero-terminated text of `code` in `text`; non-zero when the code has none.
    virtual MidiResult GetErrorText(MidiResult code, char *text, std::uint32_t size);
    // The same as a string, as the device's errors read; a code without a
    // text reads as the system's own words for that.
    std::string ErrorText(MidiResult code);
    // Opens `deviceId`; on success fills `handle` and from then on calls
    // `callback` with `instance` for each notification of the device.
    virtual MidiResult Open(DeviceHandle *handle, std::int32_t deviceId, DriverCallbackProc callback,
                            std::uintptr_t instance, std::uint32_t flags) = 0;
    virtual MidiResult Close(DeviceHandle handle) = 0;
    // Silences everything the open device sounds without closing it (the
    // SoundOffMessages, or what does the same for it). Non-zero when it
    // cannot be done in place: the device has gone, or the back end cannot
    // tell whether its port still reaches the receiver. The caller then
    // closes and reopens the device, as this default asks it to.
    virtual MidiResult Silence(DeviceHandle handle);
    // Zero while the back end knows of nothing that keeps the open device
    // from its receiver; otherwise the code its sends now fail with (its
    // server went). Asks no server, so it never waits.
    virtual MidiResult Lost(DeviceHandle handle);
    // Sends a packed short message (status | data1 << 8 | data2 << 16).
    virtual MidiResult ShortMessage(DeviceHandle handle, std::uint32_t message) = 0;

    // The long-message steps. Prepare: the header may be sent. LongMessage:
    // the bytes are queued; later exactly one DriverCallback with MOM_DONE and
    // the header's address, from a thread of the back end's own, once the
    // bytes have been handed on. Unprepare: the header is the caller's again.
    // `size` is MidiHdrSize.
    virtual MidiResult PrepareHeader(DeviceHandle handle, MIDIHDR *header, std::uint32_t size) = 0;
    virtual MidiResult LongMessage(DeviceHandle handle, MIDIHDR *header, std::uint32_t size) = 0;
    virtual MidiResult UnprepareHeader(DeviceHandle handle, MIDIHDR *header, std::uint32_t size) = 0;

    // MIDI sources. A back end without any keeps these defaults: no inputs.
    // RefreshInputs lists the sources anew; InputCount, GetInputName and
    // OpenInput refer to that list.
    virtual void RefreshInputs() {}
    virtual std::uint32_t InputCount() { return 0; }
    // The source's name as listed; non-zero for an index that names none.
    virtual MidiResult GetInputName(std::int32_t inputId, std::string *name);
    // Opens source `inputId`. Until CloseInput has returned, each message
    // that arrives reaches `callback` with `instance` on a thread of the back
    // end's: MIM_DATA with the packed short message and a time stamp in ms,
    // MIM_LONGDATA with a header from an InputHeaderPool (MIM_LONGERROR with
    // none when the pool could not take it), and MIM_SOURCEGONE once when the
    // source goes away.
    virtual MidiResult OpenInput(DeviceHandle *handle, std::int32_t inputId, DriverCallbackProc callback,
                                 std::uintptr_t instance);
    virtual MidiResult CloseInput(DeviceHandle handle);

    // MIDI thru where the back end can do it without the reader's thread:
    // from now on every channel message and system exclusive that arrives on
    // the open source `input` goes out on the open device `output` from the
    // back end's own thread as it arrives, and reaches the input's callback
    // marked ForwardedInput. A message the back end could not send on
    // arrives unmarked and ends the thru, so that nothing overtakes it while
    // the caller sends it; the caller sets it again after. `output` 0 ends
    // it: once that has returned nothing more is forwarded. Closing either
    // end ends it too. False: the back end cannot forward between these
    // two; nothing changes.
    virtual bool SetThru(DeviceHandle input, DeviceHandle output);
    // Across back ends (SystemBackend joins them): the open device `output`
    // as a target that any thread may send to, or null. It lives as long as
    // the back end and sends nothing once the device has closed.
    virtual ThruTarget *ThruTargetOf(DeviceHandle output);
    // As SetThru, to another back end's target; null ends it.
    virtual bool SetThruTarget(DeviceHandle input, ThruTarget *target);

    // Queues a message for `window`'s thread and returns at once. Called from
    // the driver callback: must not allocate or lock.
    virtual bool Post(NotifyWindow *window, std::uint32_t message, std::uintptr_t param1,
                      std::uintptr_t param2) noexcept;

    // The back end is done with the bytes: call before reporting MOM_DONE.
    static void MarkDone(MIDIHDR *header);
    // Whether the header may be queued now.
    static MidiResult CheckQueueable(const MIDIHDR *header, std::uint32_t size);

protected:
    // The header bookkeeping every back end shares, for a handle it has
    // already found open. dwFlags is touched atomically: the completing
    // thread sets MHDR_DONE while the main thread may look at it.
    static MidiResult MarkPrepared(MIDIHDR *header, std::uint32_t size);
    // Checks as CheckQueueable and marks the header queued.
    static MidiResult MarkQueued(MIDIHDR *header, std::uint32_t size);
    static MidiResult MarkUnprepared(MIDIHDR *header, std::uint32_t size);
};

// The header's flags, read atomically (see MidiBackend::MarkPrepared).
std::uint32_t HeaderFlags(const MIDIHDR *header);

} // namespace midi_out
