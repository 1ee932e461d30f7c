#include "performance/KeyPlayer.h"

namespace performance {

void KeyPlayer::StartNote(int number, KeySource source, std::optional<std::uint8_t> velocity)
{
    const std::uint8_t note = TransposedNote(state_.transposition, KeyboardModel::NoteOf(number));
    const int channel = state_.channel;
    sink_.SendNote(OnChannel(NoteOnStatus, channel), note,
                   velocity.value_or(static_cast<std::uint8_t>(state_.volume)));
    keys_.MarkSounding(number, note, channel, source);
}

void KeyPlayer::StopNote(int number)
{
    const std::uint8_t note =
        keys_.SoundingNote(number).value_or(TransposedNote(state_.transposition, KeyboardModel::NoteOf(number)));
    const int channel = keys_.SoundingChannel(number).value_or(state_.channel);
    sink_.SendNote(OnChannel(NoteOffStatus, channel), note, 0);
    keys_.MarkSilent(number);
}

void KeyPlayer::KeyMouseDown(PianoKey &key, int y)
{
    const int number = key.Number();
    // The input's or playback's note: its Note Off comes from there, not from us.
    if (keys_.IsHeldElsewhere(number))
        return;
    keys_.SetMouseHeldKey(number);
    // Already sounding (from the PC keyboard): the release will end it.
    if (keys_.IsSounding(number))
        return;
    if (state_.velocityByPosition)
        StartNote(number, KeySource::Mouse, TouchVelocity(state_.volume, y, key.height()));
    else
        StartNote(number, KeySource::Mouse);
}

void KeyPlayer::KeyMouseUp(PianoKey &)
{
    // A failed Note Off leaves the key held and sounding: the next click on
    // it sends nothing on the press and retries the Note Off on the release.
    const int held = keys_.MouseHeldKey();
    if (held != 0 && keys_.IsSounding(held))
        StopNote(held);
    keys_.SetMouseHeldKey(0);
}

} // namespace performance
