#include "midi_out/MidiBackend.h"

#include "midi_out/MidiErrors.h"
#include "midi_out/NotifyWindow.h"

namespace midi_out {

MidiResult MidiBackend::GetErrorText(MidiResult code, char *text, std::uint32_t size)
{
    return CopyErrorText(code, text, size);
}

bool MidiBackend::Post(NotifyWindow *window, std::uint32_t message, std::uintptr_t param1,
                       std::uintptr_t param2) noexcept
{
    return window != nullptr && window->Enqueue(message, param1, param2);
}

} // namespace midi_out
