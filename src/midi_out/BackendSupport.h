#pragma once
// Pieces shared by the real back ends: keeping the sound libraries quiet and
// from starting servers, framing packed short messages the way a MIDI driver
// transmits them, device names that fit the capability record, and filling
// that record.

#include "midi_out/MidiBackend.h"
#include "midi_out/MidiDefs.h"
#include "midi_out/MidiErrors.h"

#include <array>
#include <cstdint>
#include <map>
#include <memory>
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

// The output ports a back end has open, by the handles it gave out, and the
// notices of their opening and closing that every back end sends alike.
// `Port` holds its notification target as `callback` and `instance`.
template <class Port>
class OpenPorts {
public:
    // The port of `handle`; none when no port is open under it.
    Port *Find(DeviceHandle handle) const
    {
        const auto found = ports_.find(handle);
        return found == ports_.end() ? nullptr : found->second.get();
    }
    bool Has(DeviceHandle handle) const { return ports_.count(handle) != 0; }
    // The port a long message may be queued on now; none, and the reason in
    // `refused`, when there is no such port or the header may not be queued.
    Port *Queueable(DeviceHandle handle, const MIDIHDR *header, std::uint32_t size, MidiResult &refused) const
    {
        Port *port = Find(handle);
        refused = port == nullptr ? MIDIERR_INVALHANDLE : MidiBackend::CheckQueueable(header, size);
        return refused == 0 ? port : nullptr;
    }

    // Takes `port`, open now, under the handle `next` counts out (shared with
    // the back end's inputs, so that no two handles are alike), gives the
    // handle in `handle` and tells the target.
    void Add(std::unique_ptr<Port> port, DriverCallbackProc callback, std::uintptr_t instance,
             DeviceHandle &next, DeviceHandle *handle)
    {
        port->callback = callback;
        port->instance = instance;
        const DeviceHandle opened = next++;
        ports_[opened] = std::move(port);
        *handle = opened;
        if (callback != nullptr)
            callback(opened, MOM_OPEN, instance, 0, 0);
    }

    // Forgets the port of `handle`, open until now, and tells its target.
    void Remove(DeviceHandle handle)
    {
        const auto found = ports_.find(handle);
        const DriverCallbackProc callback = found->second->callback;
        const std::uintptr_t instance = found->second->instance;
        ports_.erase(found);
        if (callback != nullptr)
            callback(handle, MOM_CLOSE, instance, 0, 0);
    }

    // Forgets every port without a notice: the back end is going.
    void Clear() { ports_.clear(); }
    auto begin() { return ports_.begin(); }
    auto end() { return ports_.end(); }
    auto begin() const { return ports_.begin(); }
    auto end() const { return ports_.end(); }

private:
    std::map<DeviceHandle, std::unique_ptr<Port>> ports_;
};

// A back end that lists its output ports and its sources by their full
// names: each list read on first use and anew on each refresh, which fills it.
class PortListingBackend : public MidiBackend {
public:
    std::uint32_t DeviceCount() override;
    MidiResult GetDevCaps(std::int32_t deviceId, MidiOutCaps *caps, std::uint32_t size) override;
    std::uint32_t InputCount() override;
    MidiResult GetInputName(std::int32_t inputId, std::string *name) override;
    // The header steps need an open device and nothing else of it.
    MidiResult PrepareHeader(DeviceHandle handle, MIDIHDR *header, std::uint32_t size) override;
    MidiResult UnprepareHeader(DeviceHandle handle, MIDIHDR *header, std::uint32_t size) override;

protected:
    virtual bool IsOpen(DeviceHandle handle) const = 0;
    // The driver version the ports' records show.
    virtual std::uint32_t DriverVersion() const = 0;
    // The ports RefreshDevices found, the program's own left out.
    void AssignPorts(const std::vector<std::string> &fullNames)
    {
        counted_ = true;
        ports_.Assign(fullNames);
    }
    // The full name of output port `deviceId`, the list read first if it
    // never was; none outside the list.
    const std::string *ListedPort(std::int32_t deviceId);

    // The full name of source `inputId`, the list read first if it never
    // was; none outside the list.
    const std::string *ListedSource(std::int32_t inputId);
    // An empty list for RefreshInputs to fill.
    std::vector<std::string> &NewSourceList()
    {
        sourcesListed_ = true;
        sources_.clear();
        return sources_;
    }
    bool IsListed(const std::string &fullName) const;

private:
    PortList ports_;
    bool counted_ = false;
    std::vector<std::string> sources_;
    bool sourcesListed_ = false;
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
