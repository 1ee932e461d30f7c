#include "performance/KeyPlayer.h"

namespace performance {

void KeyPlayer::StartNote(PianoKey &key)
{
    const std::uint8_t note = TransposedNote(host_.Transposition(), key.Note());
    host_.SendNote(NoteOnStatus, note, static_cast<std::uint8_t>(host_.Volume()));
    key.MarkSounding(note);
}

void KeyPlayer::StopNote(PianoKey &key)
{
    const std::uint8_t note =
        key.SoundingNote().value_or(TransposedNote(host_.Transposition(), key.Note()));
    host_.SendNote(NoteOffStatus, note, 0);
    key.MarkSilent();
}

void KeyPlayer::KeyMouseDown(PianoKey &key)
{
    mouseHeldKey_ = &key;
    // Already sounding (from the PC keyboard): the release will end it.
    if (key.IsSounding())
        return;
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
