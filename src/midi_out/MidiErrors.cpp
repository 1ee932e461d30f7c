#include "midi_out/MidiErrors.h"

#include <algorithm>
#include <cstring>

namespace midi_out {

MidiResult CopyErrorText(MidiResult code, char *buffer, unsigned size)
{
    if (buffer == nullptr || size == 0)
        return MIDIERR_INVALPARAM;
    for (const auto &entry : MidiErrorTexts) {
        if (entry.code == code) {
            const std::size_t length = std::min<std::size_t>(entry.text.size(), size - 1);
            std::memcpy(buffer, entry.text.data(), length);
            buffer[length] = '\0';
            return MIDIERR_NOERROR;
        }
    }
    return MIDIERR_BADDEVICEID;
}

} // namespace midi_out
