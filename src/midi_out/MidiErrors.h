#pragma once
// Error codes of the back ends and their English texts, in one table.

#include "midi_out/MidiDefs.h"

#include <string_view>

namespace midi_out {

constexpr MidiResult MIDIERR_NOERROR = 0;
constexpr MidiResult MIDIERR_UNSPECIFIED = 1;
constexpr MidiResult MIDIERR_BADDEVICEID = 2;
constexpr MidiResult MIDIERR_ALLOCATED = 4;
constexpr MidiResult MIDIERR_INVALHANDLE = 5;
constexpr MidiResult MIDIERR_NOMEM = 7;
constexpr MidiResult MIDIERR_NOTSUPPORTED = 8;
constexpr MidiResult MIDIERR_INVALPARAM = 11;
constexpr MidiResult MIDIERR_NOSOUNDFONT = 64;
constexpr MidiResult MIDIERR_NOAUDIO = 65;
constexpr MidiResult MIDIERR_PORTGONE = 66;
constexpr MidiResult MIDIERR_SENDFAILED = 67;
constexpr MidiResult MIDIERR_NOTSHORT = 68;
constexpr MidiResult MIDIERR_UNPREPARED = 69;
constexpr MidiResult MIDIERR_STILLPLAYING = 70;
constexpr MidiResult MIDIERR_NOLOCKEDMEMORY = 71;

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
    {MIDIERR_NOTSHORT, "The message is not a short MIDI message"},
    {MIDIERR_UNPREPARED, "The message header has not been prepared"},
    {MIDIERR_STILLPLAYING, "The message is still being sent"},
    {MIDIERR_NOLOCKEDMEMORY,
     "The built-in synthesizer cannot start its audio output: no more memory may be locked (ulimit -l)"},
};

// Copies the text of `code` into `buffer` (zero-terminated, cut to fit);
// returns 0, or MIDIERR_BADDEVICEID-like non-zero when the code has no text.
MidiResult CopyErrorText(MidiResult code, char *buffer, unsigned size);

} // namespace midi_out
