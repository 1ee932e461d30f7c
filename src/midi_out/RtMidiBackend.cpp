#include "midi_out/RtMidiBackend.h"

#include "midi_out/MidiErrors.h"

#include <alsa/asoundlib.h>
#include <jack/jack.h>
#include <rtmidi/RtMidi.h>

#include <mutex>

#include <unistd.h>

namespace midi_out {

namespace {

// Name of the output port each open device gets in our client.
constexpr const char *OwnPortName = "out";
// The client that lists and connects JACK ports; it has no ports itself.
constexpr const char *JackListerName = "MIDI Sonoret list";

constexpr std::uint8_t AllSoundOff = 120;
constexpr std::uint8_t AllNotesOff = 123;

// A close that cannot deliver the silencing messages (the server is not
// running its cycles) waits only this long for the client to go.
constexpr std::chrono::milliseconds StuckCloseBound{50};

void IgnoreRtMidiError(RtMidiError::Type, const std::string &, void *) {}

void FlagRtMidiError(RtMidiError::Type type, const std::string &, void *failed)
{
    if (type != RtMidiError::WARNING && type != RtMidiError::DEBUG_WARNING)
        *static_cast<bool *>(failed) = true;
}

// RtMidi prints to the terminal when its client cannot be made, before a
// caller can hand it an error callback; so look first whether there is a
// sequencer at all.
bool AlsaSequencerPresent()
{
    snd_seq_t *sequencer = nullptr;
    if (snd_seq_open(&sequencer, "default", SND_SEQ_OPEN_OUTPUT, SND_SEQ_NONBLOCK) < 0)
        return false;
    snd_seq_close(sequencer);
    return true;
}

std::uint32_t RtMidiDriverVersion()
{
    static const std::uint32_t version = PackDriverVersion(RtMidi::getVersion());
    return version;
}

std::unique_ptr<RtMidiOut> MakeAlsaClient()
{
    try {
        auto client = std::make_unique<RtMidiOut>(RtMidi::LINUX_ALSA, std::string(OwnClientName));
        client->setErrorCallback(&IgnoreRtMidiError, nullptr);
        return client;
    } catch (const RtMidiError &) {
        return nullptr;
    }
}

// A client name that JACK will not change: the port is connected under it.
// The process id keeps other programs (another instance of this one, too)
// from taking it between the look and the open.
std::string FreeJackClientName(jack_client_t *client)
{
    const std::string base = std::string(OwnClientName) + "-" + std::to_string(getpid());
    std::string name = base;
    for (int number = 1; number < 100; ++number) {
        char *uuid = jack_get_uuid_for_client_name(client, name.c_str());
        if (uuid == nullptr)
            break;
        jack_free(uuid);
        name = base + "0" + std::to_string(number);
    }
    return name;
}

} // namespace

struct RtMidiBackend::OpenPort {
    std::unique_ptr<RtMidiOut> out; // null once the port has gone
    ShortMessageFramer framer;
    DriverCallbackProc callback = nullptr;
    std::uintptr_t instance = 0;
    bool failed = false; // set by RtMidi's error callback during a call
};

RtMidiBackend::RtMidiBackend(Api api)
    : api_(api), completions_([this](std::uint64_t mark) {
          // ALSA has delivered the bytes when the send returns. JACK writes
          // them into the port's buffer in the first cycle that starts after
          // the send; `mark` is the start frame of a cycle by which the
          // writing one has ended (see LongMessage). Cycles are counted, not
          // time: a late server may run no cycle for several periods.
          if (api_ != Api::Jack)
              return CompletionThread::Progress::HandedOn;
          jack_nframes_t start = 0;
          if (JackServerLost() || !CycleStart(start))
              return CompletionThread::Progress::Lost;
          return static_cast<std::int32_t>(start - static_cast<jack_nframes_t>(mark)) >= 0
                     ? CompletionThread::Progress::HandedOn
                     : CompletionThread::Progress::Waiting;
      })
{
    PrepareSoundLibraries();
}

RtMidiBackend::~RtMidiBackend()
{
    completions_.DropAll(); // its check reads jack_

    for (auto &entry : open_)
        Discard(std::move(entry.second->out));
    open_.clear();
    alsaLister_.reset();
    jack_.reset();
}

void RtMidiBackend::Discard(std::unique_ptr<RtMidiOut> client, std::chrono::milliseconds bound)
{
    if (client == nullptr)
        return;
    client->setErrorCallback(&IgnoreRtMidiError, nullptr);
    // Closing a JACK client waits for the server; an ALSA client goes at once.
    RunBounded([client = client.release()] { delete client; }, bound);
}

void RtMidiBackend::DropClientsOfLostServer()
{
    if (api_ != Api::Jack)
        return;
    for (auto &entry : open_)
        Discard(std::move(entry.second->out), StuckCloseBound);
    completions_.DropAll(); // its check reads jack_
    jack_.reset();
}

std::vector<std::string> RtMidiBackend::ListAlsaPorts()
{
    std::vector<std::string> names;
    if (alsaLister_ == nullptr && AlsaSequencerPresent())
        alsaLister_ = MakeAlsaClient();
    if (alsaLister_ == nullptr)
        return names;
    try {
        const unsigned count = alsaLister_->getPortCount();
        for (unsigned i = 0; i < count; ++i)
            names.push_back(alsaLister_->getPortName(i));
    } catch (const RtMidiError &) {
        names.clear();
    }
    return names;
}

std::vector<std::string> RtMidiBackend::ListJackPorts()
{
    std::vector<std::string> names;
    PrepareNewJackClient(); // drops the clients of a server that has gone
    if (jack_ == nullptr)
        jack_ = OpenPassiveJackClient(JackListerName);
    if (jack_ == nullptr)
        return names;
    // The ports that take MIDI: our output goes to JACK's input ports.
    if (const char **ports = jack_get_ports(jack_.get(), nullptr, JACK_DEFAULT_MIDI_TYPE, JackPortIsInput)) {
        for (const char **port = ports; *port != nullptr; ++port)
            names.emplace_back(*port);
        jack_free(ports);
    }
    return names;
}

void RtMidiBackend::RefreshDevices()
{
    counted_ = true;
    ports_.clear();
    std::vector<std::string> names;
    for (std::string &fullName : api_ == Api::Jack ? ListJackPorts() : ListAlsaPorts()) {
        if (fullName.empty() || IsOwnPort(fullName))
            continue;
        names.push_back(ShortenDeviceName(fullName));
        ports_.push_back({std::move(fullName), {}});
    }
    MakeDeviceNamesUnique(names);
    for (std::size_t i = 0; i < ports_.size(); ++i)
        ports_[i].name = std::move(names[i]);
}

std::uint32_t RtMidiBackend::DeviceCount()
{
    if (!counted_)
        RefreshDevices();
    return static_cast<std::uint32_t>(ports_.size());
}

MidiResult RtMidiBackend::GetDevCaps(std::int32_t deviceId, MidiOutCaps *caps, std::uint32_t size)
{
    if (!counted_)
        RefreshDevices();
    if (deviceId < 0 || static_cast<std::size_t>(deviceId) >= ports_.size())
        return MIDIERR_BADDEVICEID;
    return CopyCaps(MakeCaps(ports_[deviceId].name, MOD_MIDIPORT, 0, 0, RtMidiDriverVersion()), caps, size);
}

MidiResult RtMidiBackend::OpenAlsa(OpenPort &port, const std::string &fullName)
{
    port.out = MakeAlsaClient();
    if (port.out == nullptr)
        return MIDIERR_PORTGONE;
    port.out->setErrorCallback(&FlagRtMidiError, &port.failed);
    // Ports come and go: look the port up by the name it had at the count.
    try {
        const unsigned count = port.out->getPortCount();
        unsigned index = 0;
        while (index < count && port.out->getPortName(index) != fullName)
            ++index;
        if (index < count)
            port.out->openPort(index, OwnPortName);
    } catch (const RtMidiError &) {
        port.failed = true;
    }
    if (port.failed || !port.out->isPortOpen()) {
        Discard(std::move(port.out));
        return MIDIERR_PORTGONE;
    }
    return MIDIERR_NOERROR;
}

MidiResult RtMidiBackend::OpenJack(OpenPort &port, const std::string &fullName)
{
    PrepareNewJackClient(); // closes the clients of a server that has gone
    if (jack_ == nullptr || JackServerLost())
        return MIDIERR_PORTGONE;
    // A close that outlived its wait: on a server that still runs its cycles
    // it is only slow; on one that runs none the port is given up.
    if (BoundedCallsPending() && !WaitForJackCycles(jack_.get(), 1, StuckCloseBound * 2))
        return MIDIERR_PORTGONE;
    if (jack_port_by_name(jack_.get(), fullName.c_str()) == nullptr)
        return MIDIERR_PORTGONE;

    // Client, port and connection are made on a thread of their own, so that
    // a frozen server cannot hold the window; what arrives after the wait was
    // given up is closed there. The connection goes by name: the port's
    // index in a list could have changed since.
    struct Opening {
        std::mutex mutex;
        std::unique_ptr<RtMidiOut> out;
        std::string ownName; // our port's full name
        bool connected = false;
        bool abandoned = false;
    };
    auto opening = std::make_shared<Opening>();
    const bool done = RunBounded([opening, jack = jack_, fullName] {
        std::unique_ptr<RtMidiOut> out;
        std::string own;
        bool connected = false;
        try {
            const std::string name = FreeJackClientName(jack.get());
            out = std::make_unique<RtMidiOut>(RtMidi::UNIX_JACK, name);
            bool failed = false;
            out->setErrorCallback(&FlagRtMidiError, &failed);
            out->openVirtualPort(OwnPortName);
            out->setErrorCallback(&IgnoreRtMidiError, nullptr);
            own = name + ":" + OwnPortName;
            connected = !failed && jack_connect(jack.get(), own.c_str(), fullName.c_str()) == 0;
        } catch (const RtMidiError &) {
            connected = false;
        }
        const std::lock_guard lock(opening->mutex);
        if (opening->abandoned)
            return; // `out` closes here, on this thread
        opening->out = std::move(out);
        opening->ownName = std::move(own);
        opening->connected = connected;
    });
    std::unique_ptr<RtMidiOut> out;
    std::string ownName;
    {
        const std::lock_guard lock(opening->mutex);
        opening->abandoned = !done;
        out = std::move(opening->out);
        ownName = opening->ownName;
        if (!opening->connected) {
            Discard(std::move(out));
            return MIDIERR_PORTGONE;
        }
    }
    // The server takes a new connection into its graph at the start of a
    // cycle; what our client writes before that cycle is lost. Wait until the
    // graph in force shows it, then for one more cycle to begin.
    jack_port_t *ownPort = jack_port_by_name(jack_.get(), ownName.c_str());
    const auto deadline = std::chrono::steady_clock::now() + JackBound;
    while (ownPort != nullptr && !jack_port_connected_to(ownPort, fullName.c_str()) &&
           std::chrono::steady_clock::now() < deadline) {
        if (!WaitForJackCycles(jack_.get(), 1))
            break;
    }
    if (ownPort == nullptr || !jack_port_connected_to(ownPort, fullName.c_str()) ||
        !WaitForJackCycles(jack_.get(), 1)) {
        Discard(std::move(out));
        return MIDIERR_PORTGONE;
    }
    port.out = std::move(out);
    port.out->setErrorCallback(&FlagRtMidiError, &port.failed);
    return MIDIERR_NOERROR;
}

MidiResult RtMidiBackend::Open(DeviceHandle *handle, std::int32_t deviceId, DriverCallbackProc callback,
                               std::uintptr_t instance, std::uint32_t /*flags*/)
{
    if (handle == nullptr)
        return MIDIERR_INVALPARAM;
    if (!counted_)
        RefreshDevices();
    if (deviceId < 0 || static_cast<std::size_t>(deviceId) >= ports_.size())
        return MIDIERR_BADDEVICEID;

    auto port = std::make_unique<OpenPort>();
    const std::string &fullName = ports_[deviceId].fullName;
    if (const MidiResult result = api_ == Api::Jack ? OpenJack(*port, fullName) : OpenAlsa(*port, fullName))
        return result;

    port->callback = callback;
    port->instance = instance;
    const DeviceHandle opened = nextHandle_++;
    open_[opened] = std::move(port);
    *handle = opened;
    if (callback != nullptr)
        callback(opened, MOM_OPEN, instance, 0, 0);
    return MIDIERR_NOERROR;
}

MidiResult RtMidiBackend::Close(DeviceHandle handle)
{
    const auto found = open_.find(handle);
    if (found == open_.end())
        return MIDIERR_INVALHANDLE;
    OpenPort &port = *found->second;
    const bool serverGone = api_ == Api::Jack && (jack_ == nullptr || JackServerLost());
    bool delivered = true;
    // Closing a port silences nothing by itself, and the program closes and
    // reopens to stop whatever sounds.
    if (port.out != nullptr && !serverGone) {
        for (std::uint8_t channel = 0; channel < 16; ++channel) {
            const std::uint8_t status = 0xB0 | channel;
            const std::uint8_t soundOff[3] = {status, AllSoundOff, 0};
            const std::uint8_t notesOff[3] = {status, AllNotesOff, 0};
            port.out->sendMessage(soundOff, sizeof soundOff);
            port.out->sendMessage(notesOff, sizeof notesOff);
        }
        // JACK sends what is queued in its next cycle, and the receiving side
        // reads it in that cycle: the port must outlive it.
        if (api_ == Api::Jack)
            delivered = WaitForJackCycles(jack_.get(), 2);
    }
    // Long messages report their completion before the close does.
    completions_.Finish(handle, std::chrono::milliseconds(500));
    // A server that runs no cycles is frozen or gone: the close goes on
    // alone, and until it ends no new JACK client is made.
    Discard(std::move(port.out), delivered ? JackBound : StuckCloseBound);
    const DriverCallbackProc callback = port.callback;
    const std::uintptr_t instance = port.instance;
    open_.erase(found);
    if (callback != nullptr)
        callback(handle, MOM_CLOSE, instance, 0, 0);
    return MIDIERR_NOERROR;
}

MidiResult RtMidiBackend::ShortMessage(DeviceHandle handle, std::uint32_t message)
{
    const auto found = open_.find(handle);
    if (found == open_.end())
        return MIDIERR_INVALHANDLE;
    OpenPort &port = *found->second;
    if (port.out == nullptr || (api_ == Api::Jack && JackServerLost()))
        return MIDIERR_PORTGONE;
    std::uint8_t bytes[3];
    const int length = port.framer.Frame(message, bytes);
    if (length == 0)
        return MIDIERR_NOTSHORT;
    port.failed = false;
    port.out->sendMessage(bytes, static_cast<std::size_t>(length));
    return port.failed ? MIDIERR_SENDFAILED : MIDIERR_NOERROR;
}

MidiResult RtMidiBackend::PrepareHeader(DeviceHandle handle, MIDIHDR *header, std::uint32_t size)
{
    if (open_.count(handle) == 0)
        return MIDIERR_INVALHANDLE;
    return MarkPrepared(header, size);
}

MidiResult RtMidiBackend::LongMessage(DeviceHandle handle, MIDIHDR *header, std::uint32_t size)
{
    const auto found = open_.find(handle);
    if (found == open_.end())
        return MIDIERR_INVALHANDLE;
    if (const MidiResult result = CheckQueueable(header, size))
        return result;
    OpenPort &port = *found->second;
    if (port.out == nullptr || (api_ == Api::Jack && JackServerLost()))
        return MIDIERR_PORTGONE;
    if (api_ == Api::Jack && header->dwBufferLength > MaxJackMessage)
        return MIDIERR_SENDFAILED;
    // The cycle under way may have passed our port already; the next one
    // writes the bytes. A server in asynchronous mode starts a cycle without
    // waiting for the clients of the last one, so the bytes count as handed
    // on only once the second cycle after the writing one starts.
    std::uint64_t mark = 0;
    if (api_ == Api::Jack) {
        jack_nframes_t start = 0;
        if (!CycleStart(start))
            return MIDIERR_PORTGONE;
        mark = start + 3 * jack_get_buffer_size(jack_.get());
    }
    // The bytes go out as they are, in order with the short messages. RtMidi
    // only warns when they find no room (JACK's queue is full), so for this
    // send every report of it counts as a failure.
    bool refused = false;
    port.out->setErrorCallback(
        [](RtMidiError::Type, const std::string &, void *flag) { *static_cast<bool *>(flag) = true; }, &refused);
    port.out->sendMessage(header->lpData, header->dwBufferLength);
    port.out->setErrorCallback(&FlagRtMidiError, &port.failed);
    if (refused)
        return MIDIERR_SENDFAILED;
    MarkQueued(header, size);
    completions_.Queue(handle, header, port.callback, port.instance, mark);
    return MIDIERR_NOERROR;
}

bool RtMidiBackend::CycleStart(jack_nframes_t &start) const
{
    jack_time_t current = 0, next = 0;
    float period = 0;
    return jack_ != nullptr && jack_get_cycle_times(jack_.get(), &start, &current, &next, &period) == 0;
}

MidiResult RtMidiBackend::UnprepareHeader(DeviceHandle handle, MIDIHDR *header, std::uint32_t size)
{
    if (open_.count(handle) == 0)
        return MIDIERR_INVALHANDLE;
    return MarkUnprepared(header, size);
}

} // namespace midi_out
