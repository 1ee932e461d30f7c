#pragma once
// What the 42 piano keys are doing, apart from any widget: which keys sound,
// the note and channel each one's Note On used, and who started it (the
// mouse, the PC keyboard, the MIDI input or playback); the key the mouse holds; and the
// key map compiled from its decimal lists into codes and key numbers. The
// players and the pass over the PC keyboard ask and change it; the piano key
// widgets draw from it (blue outline while sounding, black while silent).
// Keys are named by their number, 1..KeyCount.

#include "performance/KeyGeometry.h"

#include <QStringList>

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace performance {

enum class KeySource : std::uint8_t { Mouse, PcKey, Input, Playback };

// One usable key-map entry: the PC key's code plays the piano key `number`.
struct KeyMapEntry {
    int code;
    int number;
    friend bool operator==(const KeyMapEntry &, const KeyMapEntry &) = default;
};

class KeyboardModel {
public:
    // Told the number of a key whose sounding state changed.
    using Listener = std::function<void(int number)>;

    static constexpr std::uint8_t NoteOf(int number) { return KeyByNumber(number).note; }
    // The first key whose own note is `note`; 0 when no key has it.
    static int NumberOfNote(int note);

    bool IsSounding(int number) const { return At(number).has_value(); }
    bool IsSilent(int number) const { return !IsSounding(number); }
    bool IsHeldByInput(int number) const { return IsSounding(number) && At(number)->source == KeySource::Input; }
    // A note the keys did not start (the input's, playback's): the mouse
    // and the PC keyboard leave the key alone.
    bool IsHeldElsewhere(int number) const
    {
        return IsSounding(number) && (At(number)->source == KeySource::Input || At(number)->source == KeySource::Playback);
    }
    bool IsLitByPlayback(int number) const { return IsSoundingFrom(number, KeySource::Playback); }
    bool IsSoundingFrom(int number, KeySource source) const
    {
        return IsSounding(number) && At(number)->source == source;
    }
    bool AnySounding() const;
    // The note and channel (1..16) that the key's Note On used, so that its
    // Note Off names them whatever the transposition or channel is now.
    std::optional<std::uint8_t> SoundingNote(int number) const;
    std::optional<int> SoundingChannel(int number) const;

    void MarkSounding(int number, std::uint8_t note, int channel, KeySource source);
    void MarkSilent(int number);

    // The key on which a mouse button went down and was not yet released; 0: none.
    int MouseHeldKey() const { return mouseHeld_; }
    void SetMouseHeldKey(int number) { mouseHeld_ = number; }

    // Compiles the two lists of the settings file: entry i of `codes` plays
    // the key that entry i of `numbers` names. An entry that is no code or
    // names no key, or lacks its partner, plays nothing.
    void SetKeyMap(const QStringList &codes, const QStringList &numbers);
    // The usable entries in list order.
    const std::vector<KeyMapEntry> &KeyMap() const { return keyMap_; }
    // Whether the map holds this code, whether or not its entry names a key:
    // such a key plays no control either.
    bool Maps(int code) const;

    void SetListener(Listener listener) { listener_ = std::move(listener); }

private:
    struct Sounding {
        std::uint8_t note;
        std::uint8_t channel;
        KeySource source;
    };
    const std::optional<Sounding> &At(int number) const { return keys_[static_cast<std::size_t>(number - 1)]; }
    void Set(int number, std::optional<Sounding> state);

    std::array<std::optional<Sounding>, KeyCount> keys_{};
    int mouseHeld_ = 0;
    std::vector<KeyMapEntry> keyMap_;
    std::vector<int> mappedCodes_;
    Listener listener_;
};

} // namespace performance
