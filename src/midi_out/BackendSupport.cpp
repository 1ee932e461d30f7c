#include "midi_out/BackendSupport.h"

#include "midi_out/MidiErrors.h"

#include <alsa/asoundlib.h>
#include <jack/jack.h>
#include <signal.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>

namespace midi_out {

namespace {

void IgnoreAlsaMessage(const char *, int, const char *, int, const char *, ...) {}
void IgnoreJackMessage(const char *) {}

} // namespace

void PrepareSoundLibraries()
{
    static std::once_flag once;
    std::call_once(once, [] {
        setenv("JACK_NO_START_SERVER", "1", 1);
        // libjack writes to the server's socket without MSG_NOSIGNAL: a server
        // that dies under us would end the whole program with SIGPIPE. Ignored,
        // the write fails with EPIPE and the send reports the lost device.
        struct sigaction current {};
        if (sigaction(SIGPIPE, nullptr, &current) == 0 && current.sa_handler == SIG_DFL)
            signal(SIGPIPE, SIG_IGN);
        // The libraries report failures both by result and by printing; the
        // results reach the user as our error codes, the printing would only
        // litter the terminal (and a missing server or sound card is normal).
        snd_lib_error_set_handler(&IgnoreAlsaMessage);
        jack_set_error_function(&IgnoreJackMessage);
        jack_set_info_function(&IgnoreJackMessage);
        // FluidSynth's printing is turned off as it loads (FluidSynthLibrary).
    });
}

int ShortMessageFramer::LengthOf(std::uint8_t status)
{
    if (status < 0x80)
        return 0;
    if (status < 0xF0)
        return (status & 0xE0) == 0xC0 ? 2 : 3; // program change, channel pressure
    switch (status) {
    case 0xF1: // time code quarter frame
    case 0xF3: // song select
        return 2;
    case 0xF2: // song position
        return 3;
    case 0xF0: // system exclusive goes as a long message
    case 0xF7:
    case 0xF4: // undefined: no receiver knows its length
    case 0xF5:
        return 0;
    default: // F6 tune request, F8..FF real time
        return 1;
    }
}

int ShortMessageFramer::Frame(std::uint32_t message, std::uint8_t bytes[3])
{
    const std::uint8_t first = message & 0xFF;
    const std::uint8_t second = (message >> 8) & 0xFF;
    const std::uint8_t third = (message >> 16) & 0xFF;

    if (first < 0x80) {
        if (runningStatus_ == 0)
            return 0;
        bytes[0] = runningStatus_;
        bytes[1] = first;
        bytes[2] = second;
        return LengthOf(runningStatus_);
    }
    const int length = LengthOf(first);
    if (length == 0)
        return 0;
    if (first < 0xF0)
        runningStatus_ = first;
    else if (first < 0xF8)
        runningStatus_ = 0; // system common ends running status, real time does not
    bytes[0] = first;
    bytes[1] = second;
    bytes[2] = third;
    return length;
}

namespace {

bool IsContinuationByte(char c)
{
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// The longest head of `text` of at most `bytes` bytes that ends between two
// UTF-8 characters.
std::string_view HeadOf(std::string_view text, std::size_t bytes)
{
    if (text.size() <= bytes)
        return text;
    while (bytes > 0 && IsContinuationByte(text[bytes]))
        --bytes;
    return text.substr(0, bytes);
}

// The longest tail of `text` of at most `bytes` bytes that starts with a
// whole UTF-8 character.
std::string_view TailOf(std::string_view text, std::size_t bytes)
{
    if (text.size() <= bytes)
        return text;
    std::size_t start = text.size() - bytes;
    while (start < text.size() && IsContinuationByte(text[start]))
        ++start;
    return text.substr(start);
}

} // namespace

std::string ShortenDeviceName(std::string_view name)
{
    if (name.size() <= MaxDeviceNameLength)
        return std::string(name);
    // Port numbers and the distinguishing part of a port name sit at the end.
    constexpr std::size_t tail = 10;
    constexpr std::size_t head = MaxDeviceNameLength - tail - 1;
    std::string shortened(HeadOf(name, head));
    shortened += '~';
    shortened += TailOf(name, tail);
    return shortened;
}

void MakeDeviceNamesUnique(std::vector<std::string> &names)
{
    const std::set<std::string> original(names.begin(), names.end());
    std::set<std::string> used;
    for (auto &name : names) {
        if (used.insert(name).second)
            continue;
        for (int number = 2;; ++number) {
            const std::string suffix = " #" + std::to_string(number);
            std::string candidate = std::string(HeadOf(name, MaxDeviceNameLength - suffix.size())) + suffix;
            if (original.count(candidate) == 0 && used.insert(candidate).second) {
                name = std::move(candidate);
                break;
            }
        }
    }
}

bool IsOwnPort(std::string_view portName)
{
    if (!portName.starts_with(OwnClientName))
        return false;
    std::string_view rest = portName.substr(OwnClientName.size());
    if (rest.starts_with('-')) {
        rest.remove_prefix(1);
        const auto digits = std::find_if(rest.begin(), rest.end(),
                                         [](char c) { return !std::isdigit(static_cast<unsigned char>(c)); });
        if (digits == rest.begin())
            return false;
        rest.remove_prefix(static_cast<std::size_t>(digits - rest.begin()));
    }
    return rest.starts_with(':');
}

MidiOutCaps MakeCaps(std::string_view name, std::uint16_t technology, std::uint16_t voices,
                     std::uint16_t notes, std::uint32_t driverVersion)
{
    MidiOutCaps caps;
    const std::string shortened = ShortenDeviceName(name);
    std::memcpy(caps.szPname, shortened.data(), shortened.size());
    caps.vDriverVersion = driverVersion;
    caps.wTechnology = technology;
    caps.wVoices = voices;
    caps.wNotes = notes;
    caps.wChannelMask = AllChannels;
    return caps;
}

MidiResult CopyCaps(const MidiOutCaps &caps, MidiOutCaps *target, std::uint32_t size)
{
    if (target == nullptr || size == 0)
        return MIDIERR_INVALPARAM;
    std::memcpy(target, &caps, std::min<std::size_t>(size, sizeof caps));
    return MIDIERR_NOERROR;
}

std::uint32_t PackDriverVersion(int major, int minor)
{
    return static_cast<std::uint32_t>(((major & 0xFF) << 8) | (minor & 0xFF));
}

std::uint32_t PackDriverVersion(std::string_view versionText)
{
    int parts[2] = {0, 0};
    std::size_t index = 0;
    for (char c : versionText) {
        if (std::isdigit(static_cast<unsigned char>(c)))
            parts[index] = parts[index] * 10 + (c - '0');
        else if (c == '.' && ++index == 2)
            break;
        else if (c != '.')
            break;
    }
    return PackDriverVersion(parts[0], parts[1]);
}

void PortList::Assign(const std::vector<std::string> &fullNames)
{
    ports_.clear();
    std::vector<std::string> names;
    for (const std::string &fullName : fullNames) {
        if (fullName.empty() || IsOwnPort(fullName))
            continue;
        names.push_back(ShortenDeviceName(fullName));
        ports_.push_back({fullName, {}});
    }
    MakeDeviceNamesUnique(names);
    for (std::size_t i = 0; i < ports_.size(); ++i)
        ports_[i].name = std::move(names[i]);
}

std::uint32_t PortListingBackend::DeviceCount()
{
    if (!counted_)
        RefreshDevices();
    return static_cast<std::uint32_t>(ports_.Size());
}

MidiResult PortListingBackend::GetDevCaps(std::int32_t deviceId, MidiOutCaps *caps, std::uint32_t size)
{
    if (!counted_)
        RefreshDevices();
    return ports_.Caps(deviceId, DriverVersion(), caps, size);
}

MidiResult PortListingBackend::PrepareHeader(DeviceHandle handle, MIDIHDR *header, std::uint32_t size)
{
    return IsOpen(handle) ? MarkPrepared(header, size) : MIDIERR_INVALHANDLE;
}

MidiResult PortListingBackend::UnprepareHeader(DeviceHandle handle, MIDIHDR *header, std::uint32_t size)
{
    return IsOpen(handle) ? MarkUnprepared(header, size) : MIDIERR_INVALHANDLE;
}

const std::string *PortListingBackend::ListedPort(std::int32_t deviceId)
{
    if (!counted_)
        RefreshDevices();
    return ports_.Has(deviceId) ? &ports_.FullName(deviceId) : nullptr;
}

std::uint32_t PortListingBackend::InputCount()
{
    if (!sourcesListed_)
        RefreshInputs();
    return static_cast<std::uint32_t>(sources_.size());
}

MidiResult PortListingBackend::GetInputName(std::int32_t inputId, std::string *name)
{
    if (!sourcesListed_)
        RefreshInputs();
    return CopyListedName(sources_, inputId, name);
}

const std::string *PortListingBackend::ListedSource(std::int32_t inputId)
{
    if (!sourcesListed_)
        RefreshInputs();
    if (inputId < 0 || static_cast<std::size_t>(inputId) >= sources_.size())
        return nullptr;
    return &sources_[static_cast<std::size_t>(inputId)];
}

bool PortListingBackend::IsListed(const std::string &fullName) const
{
    return std::find(sources_.begin(), sources_.end(), fullName) != sources_.end();
}

MidiResult CopyListedName(const std::vector<std::string> &names, std::int32_t id, std::string *name)
{
    if (name == nullptr || id < 0 || static_cast<std::size_t>(id) >= names.size())
        return MIDIERR_BADDEVICEID;
    *name = names[static_cast<std::size_t>(id)];
    return MIDIERR_NOERROR;
}

MidiResult PortList::Caps(std::int32_t id, std::uint32_t driverVersion, MidiOutCaps *caps, std::uint32_t size) const
{
    if (!Has(id))
        return MIDIERR_BADDEVICEID;
    return CopyCaps(MakeCaps(ports_[static_cast<std::size_t>(id)].name, MOD_MIDIPORT, 0, 0, driverVersion), caps, size);
}

} // namespace midi_out
