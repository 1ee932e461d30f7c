#pragma once
// Turns the PC keyboard's state into notes: for every key-map entry, the
// mapped piano key sounds while its PC key is down and falls silent when it
// is up. It compares states rather than reacting to key events, so
// auto-repeat never retriggers a note and any number of keys can be held.

#include "performance/KeyGeometry.h"
#include "performance/KeyPlayer.h"
#include "performance/KeyStateTable.h"

#include <QStringList>

#include <array>

namespace performance {

class KeyboardPoll {
public:
    // The lists are the window's key map, read on every pass; `keys` are the
    // window's piano keys indexed by number - 1.
    KeyboardPoll(const QStringList &keyCodeList, const QStringList &keyNumberList,
                 const std::array<PianoKey *, KeyCount> &keys, KeyStateTable &states,
                 KeyPlayer &player);

    // Walks the map from the last entry to the first; a code that is not a
    // number plays nothing (reading the map told it). A failed send leaves
    // by its exception; a key whose Note On failed counts as released, so
    // that only a new press tries again.
    void PollKeyboard();

private:
    const QStringList &codes_;
    const QStringList &numbers_;
    const std::array<PianoKey *, KeyCount> &keys_;
    KeyStateTable &states_;
    KeyPlayer &player_;
    bool polling_ = false;
};

} // namespace performance
