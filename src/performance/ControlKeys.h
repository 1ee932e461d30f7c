#pragma once
// PC keys that steer the playing instead of playing a piano key: the space
// bar is the sustain pedal, Page Up and Page Down move the transposition by
// an octave. A key that the key map assigns to a piano key plays that key
// instead. Like the piano keys they follow the key states on every poll, so
// losing the keyboard lets the pedal go up.

#include "performance/KeyPlayer.h"
#include "performance/KeyboardModel.h"
#include "performance/KeyStateTable.h"


#include <cstdint>
#include <functional>
#include <optional>

namespace performance {

inline constexpr int VkSpace = 32;
inline constexpr int VkPageUp = 33;
inline constexpr int VkPageDown = 34;

inline constexpr std::uint8_t ControlChangeStatus = 0xB0; // channel 1
inline constexpr std::uint8_t SustainController = 64;
inline constexpr std::uint8_t PedalDownValue = 127;
inline constexpr std::uint8_t PedalUpValue = 0;
inline constexpr int OctaveSemitones = 12;

class ControlKeys {
public:
    // `keys` holds the key map; `moveTransposition` moves the transposition control by a number of
    // semitones, kept within its range, as its spin buttons do.
    ControlKeys(const KeyboardModel &keys, const KeyStateTable &states, const PlayingState &state,
                recorder::NoteSink &sink, std::function<void(int semitones)> moveTransposition);

    // Whether a key of this code plays (a piano key through the map, or a
    // control key here): such a key never acts on the focused control.
    bool Plays(int virtualKey) const;

    // Brings the pedal and the octave keys in line with the key states.
    void Poll();

    // The pedal goes up if it is down (Control Change 64, value 0, on the
    // channel that pressed it); a space bar still held presses it again only
    // once it has been released. The pedal counts as up even when the send
    // fails, so that the failure is reported once.
    void ReleasePedal();
    bool PedalIsDown() const { return pedalChannel_.has_value(); }

private:
    bool IsDown(int virtualKey) const { return states_.IsDown(virtualKey) && !keys_.Maps(virtualKey); }
    void OctaveKey(int virtualKey, bool &wasDown, int semitones);

    const KeyboardModel &keys_;
    const KeyStateTable &states_;
    const PlayingState &state_;
    recorder::NoteSink &sink_;
    std::function<void(int)> moveTransposition_;
    std::optional<int> pedalChannel_;
    bool pedalWaitsForRelease_ = false;
    bool pageUpWasDown_ = false;
    bool pageDownWasDown_ = false;
};

} // namespace performance
