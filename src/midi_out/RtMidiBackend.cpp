#include "midi_out/RtMidiBackend.h"

#include "midi_out/InputHeaders.h"
#include "midi_out/MidiErrors.h"

#include <alsa/asoundlib.h>
#include <rtmidi/RtMidi.h>

#include <algorithm>
#include <chrono>

namespace midi_out {

namespace {

// Name of the output port each open device gets in our client.
constexpr const char *OwnPortName = "out";

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

} // namespace

struct RtMidiBackend::OpenPort {
    std::unique_ptr<RtMidiOut> out;
    ShortMessageFramer framer;
    DriverCallbackProc callback = nullptr;
    std::uintptr_t instance = 0;
    bool failed = false; // set by RtMidi's error callback during a call
};

RtMidiBackend::RtMidiBackend()
{
    PrepareSoundLibraries();
}

RtMidiBackend::~RtMidiBackend()
{
    completions_.DropAll();
    open_.Clear();
}

std::vector<std::string> RtMidiBackend::ListPorts()
{
    std::vector<std::string> names;
    if (lister_ == nullptr && AlsaSequencerPresent())
        lister_ = MakeAlsaClient();
    if (lister_ == nullptr)
        return names;
    try {
        const unsigned count = lister_->getPortCount();
        for (unsigned i = 0; i < count; ++i)
            names.push_back(lister_->getPortName(i));
    } catch (const RtMidiError &) {
        names.clear();
    }
    return names;
}

void RtMidiBackend::RefreshDevices()
{
    AssignPorts(ListPorts());
}

std::uint32_t RtMidiBackend::DriverVersion() const { return RtMidiDriverVersion(); }

MidiResult RtMidiBackend::Open(DeviceHandle *handle, std::int32_t deviceId, DriverCallbackProc callback,
                               std::uintptr_t instance, std::uint32_t /*flags*/)
{
    if (handle == nullptr)
        return MIDIERR_INVALPARAM;
    const std::string *target = ListedPort(deviceId);
    if (target == nullptr)
        return MIDIERR_BADDEVICEID;

    auto port = std::make_unique<OpenPort>();
    port->out = MakeAlsaClient();
    if (port->out == nullptr)
        return MIDIERR_PORTGONE;
    port->out->setErrorCallback(&FlagRtMidiError, &port->failed);
    // Ports come and go: look the port up by the name it had at the count.
    try {
        const unsigned count = port->out->getPortCount();
        unsigned index = 0;
        while (index < count && port->out->getPortName(index) != *target)
            ++index;
        if (index < count)
            port->out->openPort(index, OwnPortName);
    } catch (const RtMidiError &) {
        port->failed = true;
    }
    if (port->failed || !port->out->isPortOpen())
        return MIDIERR_PORTGONE;

    open_.Add(std::move(port), callback, instance, nextHandle_, handle);
    return MIDIERR_NOERROR;
}

MidiResult RtMidiBackend::Close(DeviceHandle handle)
{
    OpenPort *found = open_.Find(handle);
    if (found == nullptr)
        return MIDIERR_INVALHANDLE;
    OpenPort &port = *found;
    // Closing a port silences nothing by itself: what it leaves sounding
    // would sound on. Nothing waits to go out after these: each send drains
    // the sequencer's output, and an event sent direct is with the receiver
    // once the kernel has it, so the port may go at once.
    for (const auto &message : SoundOffMessages)
        port.out->sendMessage(message.data(), message.size());
    // Long messages report their completion before the close does.
    completions_.Finish(handle, std::chrono::milliseconds(500));
    open_.Remove(handle);
    return MIDIERR_NOERROR;
}

MidiResult RtMidiBackend::ShortMessage(DeviceHandle handle, std::uint32_t message)
{
    OpenPort *found = open_.Find(handle);
    if (found == nullptr)
        return MIDIERR_INVALHANDLE;
    OpenPort &port = *found;
    std::uint8_t bytes[3];
    const int length = port.framer.Frame(message, bytes);
    if (length == 0)
        return MIDIERR_NOTSHORT;
    port.failed = false;
    port.out->sendMessage(bytes, static_cast<std::size_t>(length));
    return port.failed ? MIDIERR_SENDFAILED : MIDIERR_NOERROR;
}

MidiResult RtMidiBackend::LongMessage(DeviceHandle handle, MIDIHDR *header, std::uint32_t size)
{
    MidiResult notQueueable = MIDIERR_NOERROR;
    OpenPort *queueable = open_.Queueable(handle, header, size, notQueueable);
    if (queueable == nullptr)
        return notQueueable;
    OpenPort &port = *queueable;
    // The bytes go out as they are, in order with the short messages; the
    // sequencer has them when the send returns. RtMidi only warns when they
    // find no room, so for this send every report counts as a failure.
    bool refused = false;
    port.out->setErrorCallback(
        [](RtMidiError::Type, const std::string &, void *flag) { *static_cast<bool *>(flag) = true; }, &refused);
    port.out->sendMessage(header->lpData, header->dwBufferLength);
    port.out->setErrorCallback(&FlagRtMidiError, &port.failed);
    if (refused)
        return MIDIERR_SENDFAILED;
    MarkQueued(header, size);
    completions_.Queue(handle, header, port.callback, port.instance);
    return MIDIERR_NOERROR;
}

} // namespace midi_out

namespace midi_out {

// ---- Input: ALSA sources through RtMidiIn ----

namespace {

// Name of the input port each open source gets in our client.
constexpr const char *OwnInputPortName = "in";

std::unique_ptr<RtMidiIn> MakeAlsaInputClient()
{
    try {
        auto client = std::make_unique<RtMidiIn>(RtMidi::LINUX_ALSA, std::string(OwnClientName));
        client->setErrorCallback(&IgnoreRtMidiError, nullptr);
        return client;
    } catch (const RtMidiError &) {
        return nullptr;
    }
}

std::uint32_t MillisecondsNow()
{
    return static_cast<std::uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                          std::chrono::steady_clock::now().time_since_epoch())
                                          .count());
}

} // namespace

struct RtMidiBackend::OpenSource {
    std::string fullName;
    DeviceHandle handle = 0;
    DriverCallbackProc callback = nullptr;
    std::uintptr_t instance = 0;
    InputHeaderPool pool;
    ThruSlot thru;
    // Last: its thread stops before the rest goes.
    std::unique_ptr<RtMidiIn> in;

    // RtMidi's thread: hands the message on, allocates nothing.
    static void Arrived(double, std::vector<unsigned char> *message, void *self)
    {
        auto &source = *static_cast<OpenSource *>(self);
        if (message == nullptr || message->empty())
            return;
        const bool forwarded = source.thru.Forward(message->data(), message->size());
        DeliverInput(source.callback, source.handle, source.instance, source.pool, message->data(), message->size(),
                     MillisecondsNow(), forwarded);
    }
};

bool RtMidiBackend::SetThruTarget(DeviceHandle input, ThruTarget *target)
{
    const auto found = openSources_.find(input);
    if (found == openSources_.end())
        return target == nullptr;
    return found->second->thru.Set(target);
}

bool RtMidiBackend::SetThru(DeviceHandle input, DeviceHandle output)
{
    // An ALSA port is written by the window's thread only (RtMidi's output
    // is not shared between threads): thru to one stays with the window.
    return output == 0 && SetThruTarget(input, nullptr);
}

void RtMidiBackend::RefreshInputs()
{
    std::vector<std::string> &sources = NewSourceList();
    if (sourceLister_ == nullptr && AlsaSequencerPresent())
        sourceLister_ = MakeAlsaInputClient();
    if (sourceLister_ != nullptr) {
        try {
            const unsigned count = sourceLister_->getPortCount();
            for (unsigned i = 0; i < count; ++i) {
                std::string fullName = sourceLister_->getPortName(i);
                if (!fullName.empty() && !IsOwnPort(fullName))
                    sources.push_back(fullName);
            }
        } catch (const RtMidiError &) {
            sources.clear();
        }
    }
    // ALSA announces no unplugging to a client that does not ask: a source
    // is found gone when it is missing from a new list.
    for (auto &[handle, source] : openSources_) {
        const bool listed = IsListed(source->fullName);
        if (!listed && source->callback != nullptr)
            source->callback(handle, MIM_SOURCEGONE, source->instance, 0, 0);
    }
}

MidiResult RtMidiBackend::OpenInput(DeviceHandle *handle, std::int32_t inputId, DriverCallbackProc callback,
                                    std::uintptr_t instance)
{
    if (handle == nullptr)
        return MIDIERR_INVALPARAM;
    const std::string *listed = ListedSource(inputId);
    if (listed == nullptr)
        return MIDIERR_BADDEVICEID;
    auto source = std::make_unique<OpenSource>();
    source->fullName = *listed;
    source->handle = nextHandle_;
    source->callback = callback;
    source->instance = instance;
    source->in = MakeAlsaInputClient();
    if (source->in == nullptr)
        return MIDIERR_PORTGONE;
    bool failed = false;
    source->in->setErrorCallback(&FlagRtMidiError, &failed);
    try {
        // System exclusive comes through; timing clock and active sensing
        // are dropped here already, as the callback would drop them.
        source->in->ignoreTypes(false, true, true);
        source->in->setCallback(&OpenSource::Arrived, source.get());
        // Ports come and go: look the port up by the name it had in the list.
        const unsigned count = source->in->getPortCount();
        unsigned index = 0;
        while (index < count && source->in->getPortName(index) != source->fullName)
            ++index;
        if (index < count)
            source->in->openPort(index, OwnInputPortName);
    } catch (const RtMidiError &) {
        failed = true;
    }
    if (failed || !source->in->isPortOpen())
        return MIDIERR_PORTGONE;
    source->in->setErrorCallback(&IgnoreRtMidiError, nullptr);
    const DeviceHandle opened = nextHandle_++;
    openSources_[opened] = std::move(source);
    *handle = opened;
    return MIDIERR_NOERROR;
}

MidiResult RtMidiBackend::CloseInput(DeviceHandle handle)
{
    const auto found = openSources_.find(handle);
    if (found == openSources_.end())
        return MIDIERR_INVALHANDLE;
    // Closing the port stops RtMidi's thread: no callback comes after it.
    found->second->in->closePort();
    found->second->in.reset();
    openSources_.erase(found);
    return MIDIERR_NOERROR;
}

} // namespace midi_out
