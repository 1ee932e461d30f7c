#include "performance/LitNotes.h"

#include <algorithm>

namespace performance {

void LitNotes::Start(std::uint8_t channel, std::uint8_t note, bool relight)
{
    const auto found = std::find_if(notes_.begin(), notes_.end(),
                                    [&](const Note &held) { return held.channel == channel && held.note == note; });
    if (found != notes_.end()) {
        if (!relight || found->key != 0)
            return;
        notes_.erase(found);
    }
    int key = KeyboardModel::NumberOfNote(note - state_.transposition);
    // A key another source plays stays theirs.
    if (key != 0 && keys_.IsSounding(key))
        key = 0;
    if (key != 0)
        keys_.MarkSounding(key, note, channel + 1, source_);
    notes_.push_back({channel, note, key});
}

void LitNotes::End(std::uint8_t channel, std::uint8_t note)
{
    const auto found = std::find_if(notes_.begin(), notes_.end(),
                                    [&](const Note &held) { return held.channel == channel && held.note == note; });
    if (found == notes_.end())
        return;
    Darken(*found);
    notes_.erase(found);
}

void LitNotes::EndLast()
{
    Darken(notes_.back());
    notes_.pop_back();
}

void LitNotes::ForgetAll()
{
    for (const Note &held : notes_)
        Darken(held);
    notes_.clear();
}

void LitNotes::Darken(const Note &held)
{
    if (held.key != 0 && keys_.IsSoundingFrom(held.key, source_))
        keys_.MarkSilent(held.key);
}

} // namespace performance
