#pragma once
// The rules by which a piano key becomes a note: note number, velocity, the
// outline as the key's sounding state, and the mouse on the keys.

#include "performance/PianoKey.h"

#include <cstdint>

namespace performance {

inline constexpr std::uint8_t NoteOnStatus = 0x90;  // channel 1
inline constexpr std::uint8_t NoteOffStatus = 0x80; // channel 1

// What the keys need from their window: the one way out for messages, and
// the positions of the transposition and volume controls.
class KeyboardHost {
public:
    virtual ~KeyboardHost() = default;
    virtual void SendNote(std::uint8_t status, std::uint8_t data1, std::uint8_t data2) = 0;
    virtual int Transposition() const = 0;
    virtual int Volume() const = 0;
};

// The low 8 bits of transposition + the key's note.
constexpr std::uint8_t TransposedNote(int transposition, std::uint8_t keyNote)
{
    return static_cast<std::uint8_t>((transposition + keyNote) & 0xFF);
}

class KeyPlayer : public KeyMouseListener {
public:
    explicit KeyPlayer(KeyboardHost &host) : host_(host) {}

    // Note On with the current transposition and volume; the outline turns
    // blue only after the send succeeded.
    void StartNote(PianoKey &key);
    // Note Off for the note that the key's Note On sent; the outline turns
    // black only after the send succeeded.
    void StopNote(PianoKey &key);

    // The key on which a mouse button went down and was not yet released.
    PianoKey *MouseHeldKey() const { return mouseHeldKey_; }

    void KeyMouseDown(PianoKey &key) override;
    // The release comes to the key on which the button went down; it ends
    // the held key's note wherever the pointer is now.
    void KeyMouseUp(PianoKey &key) override;

private:
    KeyboardHost &host_;
    PianoKey *mouseHeldKey_ = nullptr;
};

} // namespace performance
