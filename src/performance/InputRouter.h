#pragma once
// What becomes of each message from the MIDI input: channel messages go out
// unchanged through the note path (and so are recorded while recording),
// system exclusive goes to the device as a long message only,
// everything else is dropped. Notes whose untransposed number is a key's
// light that key while they are held; all held notes can be ended at once,
// or forgotten once the device no longer sounds them.

#include "performance/KeyPlayer.h"
#include "performance/KeyboardModel.h"
#include "performance/LitNotes.h"
#include "recorder/NoteSink.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace performance {

enum class InputRoute : std::uint8_t {
    Drop,     // neither sent nor recorded
    SendNote, // sent and, while recording, recorded
    SendLong, // sent as a long message, never recorded
};

struct InputRule {
    std::uint8_t kind; // the status byte's high nibble
    InputRoute route;
    bool lightsKey;
};

inline constexpr std::array<InputRule, 8> InputMessageTable{{
    {0x80, InputRoute::SendNote, true},  // Note Off
    {0x90, InputRoute::SendNote, true},  // Note On
    {0xA0, InputRoute::SendNote, false}, // Poly Pressure
    {0xB0, InputRoute::SendNote, false}, // Control Change
    {0xC0, InputRoute::SendNote, false}, // Program Change
    {0xD0, InputRoute::SendNote, false}, // Channel Pressure
    {0xE0, InputRoute::SendNote, false}, // Pitch Bend
    {0xF0, InputRoute::Drop, false},     // system common and real time
}};

// The rule for a status byte (its high nibble); data bytes are dropped.
InputRule InputRuleFor(std::uint8_t status);

class InputRouter {
public:
    // A note lights the key whose own note is the note less the transposition.
    InputRouter(const PlayingState &state, KeyboardModel &keys, recorder::MessageSink &sink)
        : sink_(sink), held_(KeySource::Input, state, keys)
    {
    }

    // A short message as the driver packs it (status | data1 << 8 | data2 <<
    // 16). `forwarded`: MIDI thru has sent it to the device already, so it is
    // only recorded and lights its key.
    void ShortMessage(std::uint32_t packed, bool forwarded = false);
    void LongMessage(const std::uint8_t *bytes, std::size_t length, bool forwarded = false);
    // Note Off for every note the input holds, and their keys go dark.
    void ReleaseAll();
    // The device was silenced or has gone: the held notes sound no more.
    // Their keys go dark without a Note Off; the input's own Note Offs for
    // them pass through as any message does and light nothing.
    void ForgetAll();
    std::size_t HeldCount() const { return held_.Count(); }

private:
    recorder::MessageSink &sink_;
    LitNotes held_;
};

} // namespace performance
