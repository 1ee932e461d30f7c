#include "midi_out/RtMidiBackend.h"

#include "midi_out/MidiErrors.h"

#include <alsa/asoundlib.h>
#include <jack/jack.h>
#include <rtmidi/RtMidi.h>

#include <chrono>
#include <thread>

namespace midi_out {

namespace {

// Name of the output port each open device gets in our client.
constexpr const char *OwnPortName = "out";

constexpr std::uint8_t AllSoundOff = 120;
constexpr std::uint8_t AllNotesOff = 123;

void IgnoreRtMidiError(RtMidiError::Type, const std::string &, void *) {}

RtMidi::Api ToRtMidi(RtMidiBackend::Api api)
{
    return api == RtMidiBackend::Api::Alsa ? RtMidi::LINUX_ALSA : RtMidi::UNIX_JACK;
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

} // namespace

struct RtMidiBackend::OpenPort {
    std::unique_ptr<RtMidiOut> out;
    ShortMessageFramer framer;
    DriverCallbackProc callback = nullptr;
    std::uintptr_t instance = 0;
    bool failed = false; // set by RtMidi's error callback during a call

    static void OnError(RtMidiError::Type type, const std::string &, void *self)
    {
        if (type != RtMidiError::WARNING && type != RtMidiError::DEBUG_WARNING)
            static_cast<OpenPort *>(self)->failed = true;
    }
};

RtMidiBackend::RtMidiBackend(Api api)
    : api_(api), completions_([this](std::uint64_t mark) {
          // JACK hands the bytes to the port's buffer in a later process
          // cycle; ALSA has delivered them when the send returns (mark 0).
          if (watchLost_.load())
              return CompletionThread::Progress::Lost;
          return jackCycles_.load() >= mark ? CompletionThread::Progress::HandedOn
                                            : CompletionThread::Progress::Waiting;
      })
{
    PrepareSoundLibraries();
}

RtMidiBackend::~RtMidiBackend()
{
    open_.clear();
    spare_.reset();
    lister_.reset();
    if (watch_ != nullptr)
        jack_client_close(watch_);
}

bool RtMidiBackend::ServerGone() const
{
    return api_ == Api::Jack && (watch_ == nullptr || watchLost_.load());
}

void RtMidiBackend::DropDeadServer()
{
    if (!watchLost_.load())
        return;
    // Every client of the dead server must be closed before a new one is made:
    // libjack otherwise cleans up the stale ones under them and crashes later.
    lister_.reset();
    spare_.reset();
    for (auto &entry : open_)
        entry.second->out.reset();
    jack_client_close(watch_);
    watch_ = nullptr;
    watchLost_ = false;
}

std::unique_ptr<RtMidiOut> RtMidiBackend::MakeClient()
{
    try {
        auto client = std::make_unique<RtMidiOut>(ToRtMidi(api_), std::string(OwnClientName));
        client->setErrorCallback(&IgnoreRtMidiError, nullptr);
        return client;
    } catch (const RtMidiError &) {
        return nullptr;
    }
}

bool RtMidiBackend::Connect()
{
    if (api_ == Api::Jack) {
        DropDeadServer();
        if (watch_ == nullptr) {
            jack_status_t status;
            watch_ = jack_client_open(std::string(OwnClientName).c_str(), JackNoStartServer, &status);
            if (watch_ == nullptr)
                return false;
            jack_on_shutdown(
                watch_, [](void *self) { static_cast<RtMidiBackend *>(self)->watchLost_ = true; }, this);
            jack_set_process_callback(
                watch_,
                [](jack_nframes_t, void *self) {
                    ++static_cast<RtMidiBackend *>(self)->jackCycles_;
                    return 0;
                },
                this);
            if (jack_activate(watch_) != 0) {
                jack_client_close(watch_);
                watch_ = nullptr;
                return false;
            }
        }
    } else if (lister_ == nullptr && !AlsaSequencerPresent()) {
        return false;
    }
    if (lister_ == nullptr)
        lister_ = MakeClient();
    return lister_ != nullptr;
}

void RtMidiBackend::RefreshDevices()
{
    counted_ = true;
    ports_.clear();
    if (!Connect())
        return;

    std::vector<std::string> names;
    try {
        const unsigned count = lister_->getPortCount();
        for (unsigned i = 0; i < count; ++i) {
            std::string fullName = lister_->getPortName(i);
            if (fullName.empty() || IsOwnPort(fullName))
                continue;
            names.push_back(ShortenDeviceName(fullName));
            ports_.push_back({std::move(fullName), {}});
        }
    } catch (const RtMidiError &) {
        ports_.clear();
        return;
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

MidiResult RtMidiBackend::Open(DeviceHandle *handle, std::int32_t deviceId, DriverCallbackProc callback,
                               std::uintptr_t instance, std::uint32_t /*flags*/)
{
    if (handle == nullptr)
        return MIDIERR_INVALPARAM;
    if (!counted_)
        RefreshDevices();
    if (deviceId < 0 || static_cast<std::size_t>(deviceId) >= ports_.size())
        return MIDIERR_BADDEVICEID;
    if (api_ == Api::Jack) {
        DropDeadServer();
        if (ServerGone())
            return MIDIERR_PORTGONE;
    }

    auto port = std::make_unique<OpenPort>();
    // A client kept from the last close saves making one (and JACK's client
    // set-up) on every close-and-reopen.
    port->out = spare_ != nullptr ? std::move(spare_) : MakeClient();
    if (port->out == nullptr)
        return MIDIERR_PORTGONE;
    port->out->setErrorCallback(&OpenPort::OnError, port.get());
    const auto portGone = [&] {
        KeepSpare(std::move(port->out));
        return MIDIERR_PORTGONE;
    };
    // Ports come and go: look the port up by the name it had at the count.
    try {
        const std::string &wanted = ports_[deviceId].fullName;
        const unsigned count = port->out->getPortCount();
        unsigned index = 0;
        while (index < count && port->out->getPortName(index) != wanted)
            ++index;
        if (index == count)
            return portGone();
        port->out->openPort(index, OwnPortName);
    } catch (const RtMidiError &) {
        return portGone();
    }
    if (port->failed || !port->out->isPortOpen())
        return portGone();
    // The server takes a new connection into its graph at the start of a
    // cycle; what is sent before then is lost (the program re-selects the
    // instrument right after reopening).
    if (api_ == Api::Jack)
        WaitForJackCycles(2);

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
    // Closing a port silences nothing by itself, and the program closes and
    // reopens to stop whatever sounds.
    if (port.out != nullptr && !ServerGone()) {
        for (std::uint8_t channel = 0; channel < 16; ++channel) {
            const std::uint8_t status = 0xB0 | channel;
            const std::uint8_t soundOff[3] = {status, AllSoundOff, 0};
            const std::uint8_t notesOff[3] = {status, AllNotesOff, 0};
            port.out->sendMessage(soundOff, sizeof soundOff);
            port.out->sendMessage(notesOff, sizeof notesOff);
        }
        // JACK sends what is queued in its next cycle; a port that goes away
        // before the receiving side has run in that cycle takes the messages
        // with it.
        if (api_ == Api::Jack)
            WaitForJackCycles(3);
    }
    // Long messages report their completion before the close does.
    completions_.Finish(handle, std::chrono::milliseconds(500));
    KeepSpare(std::move(port.out));
    const DriverCallbackProc callback = port.callback;
    const std::uintptr_t instance = port.instance;
    open_.erase(found);
    if (callback != nullptr)
        callback(handle, MOM_CLOSE, instance, 0, 0);
    return MIDIERR_NOERROR;
}

void RtMidiBackend::KeepSpare(std::unique_ptr<RtMidiOut> client)
{
    if (client == nullptr || ServerGone())
        return;
    client->closePort();
    client->setErrorCallback(&IgnoreRtMidiError, nullptr);
    spare_ = std::move(client);
}

void RtMidiBackend::WaitForJackCycles(int cycles)
{
    const std::uint64_t target = jackCycles_.load() + static_cast<std::uint64_t>(cycles);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
    while (jackCycles_.load() < target && !watchLost_.load() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

MidiResult RtMidiBackend::ShortMessage(DeviceHandle handle, std::uint32_t message)
{
    const auto found = open_.find(handle);
    if (found == open_.end())
        return MIDIERR_INVALHANDLE;
    OpenPort &port = *found->second;
    if (port.out == nullptr || ServerGone())
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
    if (port.out == nullptr || ServerGone())
        return MIDIERR_PORTGONE;
    if (api_ == Api::Jack && header->dwBufferLength > MaxJackMessage)
        return MIDIERR_SENDFAILED;
    // The bytes go out as they are, in order with the short messages. RtMidi
    // only warns when they find no room (JACK's queue is full), so for this
    // send every report of it counts as a failure.
    bool refused = false;
    port.out->setErrorCallback(
        [](RtMidiError::Type, const std::string &, void *flag) { *static_cast<bool *>(flag) = true; }, &refused);
    port.out->sendMessage(header->lpData, header->dwBufferLength);
    port.out->setErrorCallback(&OpenPort::OnError, &port);
    if (refused)
        return MIDIERR_SENDFAILED;
    MarkQueued(header, size);
    // Three cycles: the one under way may have passed our port already; the
    // next one writes the bytes into the port's buffer.
    const std::uint64_t mark = api_ == Api::Jack ? jackCycles_.load() + 3 : 0;
    completions_.Queue(handle, header, port.callback, port.instance, mark);
    return MIDIERR_NOERROR;
}

MidiResult RtMidiBackend::UnprepareHeader(DeviceHandle handle, MIDIHDR *header, std::uint32_t size)
{
    if (open_.count(handle) == 0)
        return MIDIERR_INVALHANDLE;
    return MarkUnprepared(header, size);
}

} // namespace midi_out
