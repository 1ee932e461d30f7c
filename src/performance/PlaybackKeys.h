#pragma once
// The keys playback plays light while their notes sound, as the MIDI input's
// do: a note lights the key whose own note is the note less the
// transposition, unless the mouse, the PC keyboard or the input plays that
// key already. The keys go dark with their Note Offs, or all at once when
// playback ends or the device is silenced.

#include "performance/KeyPlayer.h"
#include "performance/KeyboardModel.h"

#include <cstdint>
#include <vector>

namespace performance {

class PlaybackKeys {
public:
    PlaybackKeys(const PlayingState &state, KeyboardModel &keys) : state_(state), keys_(keys) {}

    // A message playback sent; only Note On and Note Off change a key.
    void Played(std::uint8_t status, std::uint8_t data1, std::uint8_t data2);
    void ForgetAll();

private:
    struct Lit {
        std::uint8_t channel; // 0..15
        std::uint8_t note;
        int key; // 0: none (the note lights no key)
    };
    void Darken(const Lit &lit);

    const PlayingState &state_;
    KeyboardModel &keys_;
    std::vector<Lit> lit_;
};

} // namespace performance
