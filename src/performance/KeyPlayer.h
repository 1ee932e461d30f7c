#pragma once
// The rules by which a piano key becomes a note: note number, velocity, the
// key's sounding state in the keyboard model, and the mouse on the keys.

#include "performance/KeyboardModel.h"
#include "performance/PianoKey.h"
#include "recorder/NoteSink.h"

#include <cstdint>
#include <optional>

namespace performance {

inline constexpr std::uint8_t NoteOnStatus = 0x90;  // channel 1
inline constexpr std::uint8_t NoteOffStatus = 0x80; // channel 1

inline constexpr int FirstChannel = 1;
inline constexpr int LastChannel = 16;

// A channel message's status byte on `channel` (1..16).
constexpr std::uint8_t OnChannel(std::uint8_t status, int channel)
{
    return static_cast<std::uint8_t>((status & 0xF0) | ((channel - 1) & 0x0F));
}

// What the keys play by: the positions of the transposition and volume
// controls, the channel the keys play on, and whether a mouse press plays
// softer the higher it strikes. The window keeps it in line with its
// controls; the notes themselves go to the note path.
struct PlayingState {
    int transposition = 0;
    int volume = 127;
    int channel = FirstChannel;
    bool velocityByPosition = false;
};

// The velocity of a mouse press `y` pixels below the top of a key `height`
// pixels high: rising linearly from the top to the full `volume` on the
// bottom row, never below 1.
constexpr std::uint8_t TouchVelocity(int volume, int y, int height)
{
    if (height <= 0)
        return static_cast<std::uint8_t>(volume < 1 ? 1 : volume);
    const int row = y < 0 ? 0 : (y >= height ? height - 1 : y);
    const int velocity = (volume * (row + 1) + height / 2) / height;
    return static_cast<std::uint8_t>(velocity < 1 ? 1 : velocity);
}

// The low 8 bits of transposition + the key's note.
constexpr std::uint8_t TransposedNote(int transposition, std::uint8_t keyNote)
{
    return static_cast<std::uint8_t>((transposition + keyNote) & 0xFF);
}

class KeyPlayer : public KeyMouseListener {
public:
    KeyPlayer(const PlayingState &state, KeyboardModel &keys, recorder::NoteSink &sink)
        : state_(state), keys_(keys), sink_(sink)
    {
    }

    // Note On for key `number` with the current transposition, channel and
    // volume (or `velocity` when given); the key counts as sounding, from
    // `source`, only after the send succeeded.
    void StartNote(int number, KeySource source, std::optional<std::uint8_t> velocity = std::nullopt);
    // Note Off for the note and channel that the key's Note On used; the key
    // counts as silent only after the send succeeded.
    void StopNote(int number);

    void KeyMouseDown(PianoKey &key, int y) override;
    // The release comes to the key on which the button went down; it ends
    // the held key's note wherever the pointer is now.
    void KeyMouseUp(PianoKey &key) override;

private:
    const PlayingState &state_;
    KeyboardModel &keys_;
    recorder::NoteSink &sink_;
};

} // namespace performance
