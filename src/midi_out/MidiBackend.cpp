#include "midi_out/MidiBackend.h"

#include "midi_out/MidiErrors.h"
#include "midi_out/NotifyWindow.h"

#include <atomic>

namespace midi_out {

MidiResult MidiBackend::GetErrorText(MidiResult code, char *text, std::uint32_t size)
{
    return CopyErrorText(code, text, size);
}

std::string MidiBackend::ErrorText(MidiResult code)
{
    char text[ErrorTextSize] = {};
    if (GetErrorText(code, text, sizeof text) != 0)
        return "Specified error number is out of range";
    text[sizeof text - 1] = '\0';
    return text;
}

MidiResult MidiBackend::Silence(DeviceHandle) { return MIDIERR_NOTSUPPORTED; }

MidiResult MidiBackend::Lost(DeviceHandle) { return MIDIERR_NOERROR; }

MidiResult MidiBackend::GetInputName(std::int32_t, std::string *)
{
    return MIDIERR_BADDEVICEID;
}

MidiResult MidiBackend::OpenInput(DeviceHandle *, std::int32_t, DriverCallbackProc, std::uintptr_t)
{
    return MIDIERR_BADDEVICEID;
}

MidiResult MidiBackend::CloseInput(DeviceHandle) { return MIDIERR_INVALHANDLE; }

bool MidiBackend::SetThru(DeviceHandle, DeviceHandle output) { return output == 0; }

ThruTarget *MidiBackend::ThruTargetOf(DeviceHandle) { return nullptr; }

bool MidiBackend::SetThruTarget(DeviceHandle, ThruTarget *target) { return target == nullptr; }

bool MidiBackend::Post(NotifyWindow *window, std::uint32_t message, std::uintptr_t param1,
                       std::uintptr_t param2) noexcept
{
    return window != nullptr && window->Enqueue(message, param1, param2);
}

namespace {
std::atomic_ref<std::uint32_t> Flags(MIDIHDR *header)
{
    return std::atomic_ref<std::uint32_t>(header->dwFlags);
}
} // namespace

std::uint32_t HeaderFlags(const MIDIHDR *header)
{
    return Flags(const_cast<MIDIHDR *>(header)).load(std::memory_order_acquire);
}

MidiResult MidiBackend::MarkPrepared(MIDIHDR *header, std::uint32_t size)
{
    if (header == nullptr || size < sizeof(MIDIHDR) || header->lpData == nullptr ||
        header->dwBufferLength == 0)
        return MIDIERR_INVALPARAM;
    Flags(header).fetch_or(MHDR_PREPARED, std::memory_order_acq_rel);
    return MIDIERR_NOERROR;
}

MidiResult MidiBackend::CheckQueueable(const MIDIHDR *header, std::uint32_t size)
{
    if (header == nullptr || size < sizeof(MIDIHDR))
        return MIDIERR_INVALPARAM;
    const std::uint32_t flags = HeaderFlags(header);
    if ((flags & MHDR_PREPARED) == 0)
        return MIDIERR_UNPREPARED;
    if ((flags & MHDR_INQUEUE) != 0)
        return MIDIERR_STILLPLAYING;
    return MIDIERR_NOERROR;
}

MidiResult MidiBackend::MarkQueued(MIDIHDR *header, std::uint32_t size)
{
    if (const MidiResult result = CheckQueueable(header, size))
        return result;
    Flags(header).store((HeaderFlags(header) | MHDR_INQUEUE) & ~MHDR_DONE, std::memory_order_release);
    return MIDIERR_NOERROR;
}

void MidiBackend::MarkDone(MIDIHDR *header)
{
    Flags(header).store((HeaderFlags(header) | MHDR_DONE) & ~MHDR_INQUEUE, std::memory_order_release);
}

MidiResult MidiBackend::MarkUnprepared(MIDIHDR *header, std::uint32_t size)
{
    if (header == nullptr || size < sizeof(MIDIHDR))
        return MIDIERR_INVALPARAM;
    const std::uint32_t flags = HeaderFlags(header);
    if ((flags & MHDR_INQUEUE) != 0)
        return MIDIERR_STILLPLAYING;
    Flags(header).store(flags & ~MHDR_PREPARED, std::memory_order_release);
    return MIDIERR_NOERROR;
}

} // namespace midi_out
