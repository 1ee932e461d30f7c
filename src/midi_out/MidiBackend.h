#pragma once
// The one seam between the device component and the platform. Each back end
// (built-in synth, MIDI ports, the test back end) implements these operations
// with the same inputs and results; the component holds nothing else of the
// platform.

#include "midi_out/MidiDefs.h"

#include <cstdint>
#include <string>

namespace midi_out {

class NotifyWindow;

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
