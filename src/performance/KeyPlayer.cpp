#include "performance/KeyPlayer.h"

namespace performance {

void KeyPlayer::StartNote(PianoKey &key, std::optional<std::uint8_t> velocity)
{
    const std::uint8_t note = TransposedNote(state_.transposition, key.Note());
    const int channel = state_.channel;
    sink_.SendNote(OnChannel(NoteOnStatus, channel), note,
                   velocity.value_or(static_cast<std::uint8_t>(state_.volume)));
    key.MarkSounding(note, channel);
}

void KeyPlayer::StopNote(PianoKey &key)
{
    const std::uint8_t note =
        key.SoundingNote().value_or(TransposedNote(state_.transposition, key.Note()));
    const int channel = key.SoundingChannel().value_or(state_.channel);
    sink_.SendNote(OnChannel(NoteOffStatus, channel), note, 0);
    key.MarkSilent();
}

void KeyPlayer::KeyMouseDown(PianoKey &key, int y)
{
    // The input's note: its Note Off comes from the input, not from us.
    if (key.IsHeldByInput())
        return;
    mouseHeldKey_ = &key;
    // Already sounding (from the PC keyboard): the release will end it.
    if (key.IsSounding())
        return;
    if (state_.velocityByPosition)
        StartNote(key, TouchVelocity(state_.volume, y, key.height()));
    else
        StartNote(key);
}

void KeyPlayer::KeyMouseUp(PianoKey &)
{
    // A failed Note Off leaves the key held and blue: the next click on it
    // sends nothing on the press and retries the Note Off on the release.
    if (mouseHeldKey_ && !mouseHeldKey_->IsSilent())
        StopNote(*mouseHeldKey_);
    mouseHeldKey_ = nullptr;
}

} // namespace performance
