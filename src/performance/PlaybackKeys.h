#pragma once
// The keys playback plays light while their notes sound, as the MIDI input's
// do: a note lights the key whose own note is the note less the
// transposition, unless the mouse, the PC keyboard or the input plays that
// key already. The keys go dark with their Note Offs, or all at once when
// playback ends or the device is silenced.

#include "performance/LitNotes.h"

#include <cstdint>

namespace performance {

class PlaybackKeys {
public:
    PlaybackKeys(const PlayingState &state, KeyboardModel &keys) : lit_(KeySource::Playback, state, keys) {}

    // A message playback sent; only Note On and Note Off change a key.
    void Played(std::uint8_t status, std::uint8_t data1, std::uint8_t data2);
    void ForgetAll() { lit_.ForgetAll(); }

private:
    LitNotes lit_;
};

} // namespace performance
