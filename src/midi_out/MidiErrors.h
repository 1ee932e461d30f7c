#pragma once
// Error codes of the back ends and their English texts, in one table.

#include "midi_out/MidiDefs.h"

#include <string_view>

namespace midi_out {

enum MidiError : MidiResult {
    MIDIERR_NOERROR = 0,
    MIDIERR_UNSPECIFIED = 1,
    MIDIERR_BADDEVICEID = 2,
    MIDIERR_ALLOCATED = 4,
    MIDIERR_INVALHANDLE = 5,
    MIDIERR_NOMEM = 7,
    MIDIERR_NOTSUPPORTED = 8,
    MIDIERR_INVALPARAM = 11,
    MIDIERR_NOSOUNDFONT = 64,
    MIDIERR_NOAUDIO = 65,
    MIDIERR_PORTGONE = 66,
    MIDIERR_SENDFAILED = 67,
};

struct MidiErrorText {
    MidiResult code;
    std::string_view text;
};

inline constexpr MidiErrorText MidiErrorTexts[] = {
    {MIDIERR_UNSPECIFIED, "Unspecified error"},
    {MIDIERR_BADDEVICEID, "The device ID is out of range"},
    {MIDIERR_ALLOCATED, "The specified device is already in use"},
    {MIDIERR_INVALHANDLE, "The device handle is invalid"},
    {MIDIERR_NOMEM, "Unable to allocate memory"},
    {MIDIERR_NOTSUPPORTED, "This function is not supported"},
    {MIDIERR_INVALPARAM, "An invalid parameter was passed"},
    {MIDIERR_NOSOUNDFONT, "The built-in synthesizer found no SoundFont"},
    {MIDIERR_NOAUDIO, "The built-in synthesizer found no audio output"},
    {MIDIERR_PORTGONE, "The MIDI port is no longer available"},
    {MIDIERR_SENDFAILED, "The MIDI port did not accept the message"},
};

// Copies the text of `code` into `buffer` (zero-terminated, cut to fit);
// returns 0, or MIDIERR_BADDEVICEID-like non-zero when the code has no text.
MidiResult copyErrorText(MidiResult code, char *buffer, unsigned size);

} // namespace midi_out
