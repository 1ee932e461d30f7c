#pragma once
// Turns the PC keyboard's state into notes: for every key-map entry, the
// mapped piano key sounds while its PC key is down and falls silent when it
// is up. It compares states rather than reacting to key events, so
// auto-repeat never retriggers a note and any number of keys can be held.

#include "performance/KeyPlayer.h"
#include "performance/KeyStateTable.h"
#include "performance/KeyboardModel.h"

namespace performance {

class KeyboardPoll {
public:
    // The key map is the model's, compiled when it changes.
    KeyboardPoll(KeyboardModel &keys, KeyStateTable &states, KeyPlayer &player)
        : keys_(keys), states_(states), player_(player)
    {
    }

    // Walks the map from the last entry to the first. A failed send leaves
    // by its exception; a key whose Note On failed counts as released, so
    // that only a new press tries again.
    void PollKeyboard();

private:
    KeyboardModel &keys_;
    KeyStateTable &states_;
    KeyPlayer &player_;
    bool polling_ = false;
};

} // namespace performance
