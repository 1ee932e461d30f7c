#pragma once
// Pieces shared by the real back ends: keeping the sound libraries quiet and
// from starting servers, framing packed short messages the way a MIDI driver
// transmits them, device names that fit the capability record, and filling
// that record.

#include "midi_out/MidiDefs.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace midi_out {

// Client name of every ALSA or JACK client this program makes.
inline constexpr std::string_view OwnClientName = "MIDI Sonoret";

// Longest device name the capability record holds (32 bytes with the zero).
inline constexpr std::size_t MaxDeviceNameLength = sizeof(MidiOutCaps::szPname) - 1;

// Sets JACK_NO_START_SERVER=1 (without it libjack tries to start a server and
// hangs for seconds when none runs) and routes the messages that ALSA, JACK and
// FluidSynth would print on the terminal away from it: every failure reaches the
// user as a result code with its own text instead. Call before any ALSA or JACK
// client is made; cheap to call again.
void PrepareSoundLibraries();

// What silences a receiver whatever it was sent: All Sound Off and All Notes
// Off, in that order, on each of the 16 channels.
inline constexpr auto SoundOffMessages = [] {
    constexpr std::uint8_t allSoundOff = 120;
    constexpr std::uint8_t allNotesOff = 123;
    std::array<std::array<std::uint8_t, 3>, 32> messages{};
    for (std::uint8_t channel = 0; channel < 16; ++channel) {
        const auto status = static_cast<std::uint8_t>(0xB0 | channel);
        messages[2 * channel] = {status, allSoundOff, 0};
        messages[2 * channel + 1] = {status, allNotesOff, 0};
    }
    return messages;
}();

// Turns packed short messages into the bytes that go out. Keeps the running
// status of its device, as a driver does: a packed message whose first byte is
// a data byte repeats the last channel status.
class ShortMessageFramer {
public:
    // Number of bytes the status byte `status` implies for a short message:
    // 1..3, or 0 when it starts no short message (data byte, F0, F4, F5, F7).
    static int LengthOf(std::uint8_t status);

    // Writes the bytes of `message` (status | data1 << 8 | data2 << 16) to
    // `bytes` and returns their number, or 0 when it is not a short message
    // (system exclusive, undefined status, data byte without running status).
    int Frame(std::uint32_t message, std::uint8_t bytes[3]);

    void Reset() { runningStatus_ = 0; }

private:
    std::uint8_t runningStatus_ = 0;
};

// A name cut to at most MaxDeviceNameLength characters; a cut keeps the head
// and the tail (where port numbers sit) joined by '~'.
std::string ShortenDeviceName(std::string_view name);

// Makes equal names in `names` distinct by ending the later ones with " #2",
// " #3", ... (still within MaxDeviceNameLength); the first keeps its name.
void MakeDeviceNamesUnique(std::vector<std::string> &names);

// True when `portName` (as the MIDI library lists it: "client:port ...")
// belongs to one of this program's own clients, which JACK may have renamed to
// "MIDI Sonoret-01" and so on.
bool IsOwnPort(std::string_view portName);

// The ports a back end lists at one moment, the program's own left out: each
// by the full name an open looks for and by the short name, unique among
// them, that its capability record shows.
class PortList {
public:
    void Assign(const std::vector<std::string> &fullNames);
    std::size_t Size() const { return ports_.size(); }
    bool Has(std::int32_t id) const { return id >= 0 && static_cast<std::size_t>(id) < ports_.size(); }
    const std::string &FullName(std::int32_t id) const { return ports_[static_cast<std::size_t>(id)].fullName; }
    // The record of port `id`, a MIDI port; MIDIERR_BADDEVICEID outside the list.
    MidiResult Caps(std::int32_t id, std::uint32_t driverVersion, MidiOutCaps *caps, std::uint32_t size) const;

private:
    struct Port {
        std::string fullName;
        std::string name;
    };
    std::vector<Port> ports_;
};

// Entry `id` of `names` into `name`; MIDIERR_BADDEVICEID outside the list.
MidiResult CopyListedName(const std::vector<std::string> &names, std::int32_t id, std::string *name);

// A capability record for a device of this kind.
MidiOutCaps MakeCaps(std::string_view name, std::uint16_t technology, std::uint16_t voices,
                     std::uint16_t notes, std::uint32_t driverVersion);

// Copies `caps` to `target` the way the platform does: at most `size` bytes.
// Non-zero when there is nowhere to copy to.
MidiResult CopyCaps(const MidiOutCaps &caps, MidiOutCaps *target, std::uint32_t size);

// Driver version in the record's form: major version in the high byte, minor
// in the low byte.
std::uint32_t PackDriverVersion(int major, int minor);

// The (major, minor) of a version text such as "5.0.0"; (0, 0) when unreadable.
std::uint32_t PackDriverVersion(std::string_view versionText);

} // namespace midi_out
