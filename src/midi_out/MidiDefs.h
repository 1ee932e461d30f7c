#pragma once
// Constants and records shared by the device component and its back ends.

#include <cstdint>

namespace midi_out {

// An open device as a back end knows it; 0 means none.
using DeviceHandle = std::uintptr_t;

// Every back-end result is a 32-bit code judged by its low 16 bits: 0 is success.
using MidiResult = std::uint32_t;

constexpr std::int32_t MIDI_MAPPER = -1;
constexpr std::uint32_t CALLBACK_FUNCTION = 0x30000;

// Notification numbers the driver callback sees and posts.
constexpr std::uint32_t MOM_OPEN = 967;
constexpr std::uint32_t MOM_CLOSE = 968;
constexpr std::uint32_t MOM_DONE = 969;
constexpr std::uint32_t MIM_DATA = 963;
constexpr std::uint32_t MIM_LONGDATA = 964;
constexpr std::uint32_t MIM_LONGERROR = 966;
constexpr std::uint32_t WM_USER = 1024;
// An input back end lost its source (unplugged, server gone); posted on as is.
constexpr std::uint32_t MIM_SOURCEGONE = WM_USER + 1;

// MIDI thru: set in the unused top byte of a short input message, or in the
// dwUser of a long input message's header, when the back end has already sent
// the message on to the device (MidiBackend::SetThru). The reader must not
// send it again.
constexpr std::uint32_t ForwardedInput = 0x80000000u;

// Technology codes of the capability record.
constexpr std::uint16_t MOD_MIDIPORT = 1;
constexpr std::uint16_t MOD_SYNTH = 2;
constexpr std::uint16_t MOD_MAPPER = 5;
constexpr std::uint16_t MOD_WAVETABLE = 6;
constexpr std::uint16_t MOD_SWSYNTH = 7;

// Optional-function flags of the capability record.
constexpr std::uint32_t MIDICAPS_VOLUME = 0x0001;
constexpr std::uint32_t MIDICAPS_LRVOLUME = 0x0002;
constexpr std::uint32_t MIDICAPS_CACHE = 0x0004;

constexpr std::uint16_t AllChannels = 0xFFFF;

// The capability record in its single-byte-character form: 52 bytes.
struct MidiOutCaps {
    std::uint16_t wMid = 0;
    std::uint16_t wPid = 0;
    std::uint32_t vDriverVersion = 0;
    char szPname[32] = {};
    std::uint16_t wTechnology = 0;
    std::uint16_t wVoices = 0;
    std::uint16_t wNotes = 0;
    std::uint16_t wChannelMask = 0;
    std::uint32_t dwSupport = 0;
};
static_assert(sizeof(MidiOutCaps) == 52);

constexpr unsigned ErrorTextSize = 128;

// The long-message header shared between the component and a back end. The
// component fills lpData, dwBufferLength and dwUser; the rest belongs to the
// back end. Address fields are pointer-sized so that no address is cut.
struct MIDIHDR {
    std::uint8_t *lpData;
    std::uint32_t dwBufferLength;
    std::uint32_t dwBytesRecorded;
    std::uintptr_t dwUser;
    std::uint32_t dwFlags;
    std::uint32_t dwOffset;
    MIDIHDR *lpNext;
    std::uintptr_t reserved;
    std::uintptr_t dwReserved[2];
};
// The header block is always this size, and so is the size passed with it.
constexpr std::uint32_t MidiHdrSize = 64;
static_assert(sizeof(MIDIHDR) <= MidiHdrSize);

// dwFlags bits, kept by the back end.
constexpr std::uint32_t MHDR_DONE = 0x1;     // the back end has finished with the bytes
constexpr std::uint32_t MHDR_PREPARED = 0x2; // prepared, may be sent
constexpr std::uint32_t MHDR_INQUEUE = 0x4;  // queued, not yet finished

// The driver callback's signature: device handle, message number, instance
// value (address of the MidiCtlInfo), two parameters.
using DriverCallbackProc = void (*)(DeviceHandle device, std::uint32_t message,
                                    std::uintptr_t instance, std::uintptr_t param1,
                                    std::uintptr_t param2);

} // namespace midi_out
