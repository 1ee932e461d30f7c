#include "performance/PlaybackKeys.h"

#include <algorithm>

namespace performance {

void PlaybackKeys::Played(std::uint8_t status, std::uint8_t data1, std::uint8_t data2)
{
    const std::uint8_t kind = status & 0xF0;
    if ((kind != 0x80 && kind != 0x90) || data1 >= 0x80)
        return;
    const std::uint8_t channel = status & 0x0F;
    const auto found = std::find_if(lit_.begin(), lit_.end(), [&](const Lit &lit) {
        return lit.channel == channel && lit.note == data1;
    });
    if (kind == 0x80 || data2 == 0) {
        if (found == lit_.end())
            return;
        Darken(*found);
        lit_.erase(found);
        return;
    }
    if (found != lit_.end()) {
        // Struck again: its key lights now if the mouse or the keyboard let it go meanwhile.
        if (found->key != 0)
            return;
        lit_.erase(found);
    }
    int key = KeyboardModel::NumberOfNote(data1 - state_.transposition);
    if (key != 0 && keys_.IsSounding(key))
        key = 0;
    if (key != 0)
        keys_.MarkSounding(key, data1, channel + 1, KeySource::Playback);
    lit_.push_back({channel, data1, key});
}

void PlaybackKeys::ForgetAll()
{
    for (const Lit &lit : lit_)
        Darken(lit);
    lit_.clear();
}

void PlaybackKeys::Darken(const Lit &lit)
{
    if (lit.key != 0 && keys_.IsLitByPlayback(lit.key))
        keys_.MarkSilent(lit.key);
}

} // namespace performance
