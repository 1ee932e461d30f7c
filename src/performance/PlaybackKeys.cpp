#include "performance/PlaybackKeys.h"

namespace performance {

void PlaybackKeys::Played(std::uint8_t status, std::uint8_t data1, std::uint8_t data2)
{
    const std::uint8_t kind = status & 0xF0;
    if ((kind != 0x80 && kind != 0x90) || data1 >= 0x80)
        return;
    const std::uint8_t channel = status & 0x0F;
    if (kind == 0x80 || data2 == 0)
        lit_.End(channel, data1);
    else
        // Struck again: its key lights now if the mouse or the keyboard let it go meanwhile.
        lit_.Start(channel, data1, true);
}

} // namespace performance
