#pragma once
// The notes a source that only lights keys holds (the MIDI input, playback),
// by channel and note, and the key each one lit in the keyboard model: a note
// lights the key whose own note is the note less the transposition, unless
// the mouse, the PC keyboard or another source plays that key already. A key
// goes dark with its note, or all at once.

#include "performance/KeyPlayer.h"
#include "performance/KeyboardModel.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace performance {

class LitNotes {
public:
    struct Note {
        std::uint8_t channel; // 0..15
        std::uint8_t note;
        int key; // the number of the key the note lit; 0: none
    };

    LitNotes(KeySource source, const PlayingState &state, KeyboardModel &keys)
        : source_(source), state_(state), keys_(keys)
    {
    }

    // A note held already stays as it is; with `relight`, one that lit no key
    // tries again (its key may have been let go meanwhile).
    void Start(std::uint8_t channel, std::uint8_t note, bool relight = false);
    void End(std::uint8_t channel, std::uint8_t note);
    // Every key goes dark; nothing is held any more.
    void ForgetAll();

    std::size_t Count() const { return notes_.size(); }
    bool Empty() const { return notes_.empty(); }
    // The note held last, and its end once its Note Off went out.
    const Note &Last() const { return notes_.back(); }
    void EndLast();

private:
    void Darken(const Note &note);

    KeySource source_;
    const PlayingState &state_;
    KeyboardModel &keys_;
    std::vector<Note> notes_;
};

} // namespace performance
