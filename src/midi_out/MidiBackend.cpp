#include "midi_out/MidiBackend.h"

#include "midi_out/MidiErrors.h"
#include "midi_out/NotifyWindow.h"

namespace midi_out {

MidiResult MidiBackend::GetErrorText(MidiResult code, char *text, std::uint32_t size)
{
    return copyErrorText(code, text, size);
}

bool MidiBackend::Post(NotifyWindow *window, std::uint32_t message, std::uintptr_t param1,
                       std::uintptr_t param2) noexcept
{
    return window != nullptr && window->enqueue(message, param1, param2);
}

} // namespace midi_out
