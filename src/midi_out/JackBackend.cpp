#include "midi_out/JackBackend.h"

#include "midi_out/BackendSupport.h"
#include "midi_out/InputHeaders.h"
#include "midi_out/MidiErrors.h"

#include <jack/jack.h>
#include <jack/midiport.h>
#include <jack/ringbuffer.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <thread>

#include <unistd.h>

namespace midi_out {

namespace {

// Name of the output port each open device gets in its client.
constexpr const char *OwnPortName = "out";
// The client that lists and connects ports; it has no ports itself.
// With this process's number: two clients opening one name at the same time
// (two copies of the program starting together) can make one open fail.
std::string ListerName()
{
    return std::string(OwnClientName) + " list-" + std::to_string(getpid());
}

// Bytes queued towards one port: the longest message with room to spare for
// the short ones sent around it.
constexpr std::size_t QueueBytes = 32768;

// A close that cannot deliver the silencing messages (the server is not
// running its cycles) waits only this long for the client to go.
constexpr std::chrono::milliseconds StuckCloseBound{50};

std::uint32_t JackDriverVersion()
{
    static const std::uint32_t version = PackDriverVersion(jack_get_version_string());
    return version;
}

// A client name that JACK will not change, so that our own port is known by
// it. The process id keeps other programs (another instance of this one,
// too) from taking it between the look and the open.
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

// One open device: a client with one MIDI output port whose process callback
// drains a single-producer queue that the window's thread fills. Each event
// is queued as its length (32 bits) followed by its bytes.
//
// Made and destroyed only on a bounded thread (both wait for the server).
// The destructor stops the callback for good (deactivate, close) before the
// queue it reads is freed.
class JackBackend::Output {
public:
    // What the callback tells the window's and the completion thread. Shared:
    // a completion check may look at it after the port has gone.
    struct Counters {
        // A cycle has run with the port connected in that cycle's graph.
        std::atomic<bool> connected{false};
        // Events that every receiver has had a whole cycle to read.
        std::atomic<std::uint64_t> handedOn{0};
    };

    // Client, port and connection to `target`; null when any step fails.
    static std::unique_ptr<Output> Open(jack_client_t *lister, const std::string &target)
    {
        std::unique_ptr<Output> out(new Output);
        jack_status_t status;
        out->client_ = jack_client_open(FreeJackClientName(lister).c_str(),
                                        jack_options_t(JackNoStartServer | JackUseExactName), &status);
        if (out->client_ == nullptr)
            return nullptr;
        jack_on_shutdown(out->client_, [](void *) { NoteJackServerLost(); }, nullptr);
        out->port_ = jack_port_register(out->client_, OwnPortName, JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
        out->queue_ = jack_ringbuffer_create(QueueBytes);
        if (out->port_ == nullptr || out->queue_ == nullptr ||
            jack_set_process_callback(out->client_, &Output::Process, out.get()) != 0 ||
            jack_activate(out->client_) != 0 ||
            jack_connect(out->client_, jack_port_name(out->port_), target.c_str()) != 0)
            return nullptr;
        // Half a cycle's MIDI buffer: an event that size always fits an empty one.
        const std::size_t buffer = jack_port_type_get_buffer_size(out->client_, JACK_DEFAULT_MIDI_TYPE);
        out->maxMessage_ = static_cast<std::uint32_t>(std::min<std::size_t>(MaxJackMessage, buffer / 2));
        const jack_nframes_t rate = std::max<jack_nframes_t>(1, jack_get_sample_rate(out->client_));
        out->step_ = std::chrono::microseconds(
            std::max<long long>(100, 250000LL * jack_get_buffer_size(out->client_) / rate));
        return out;
    }

    ~Output()
    {
        if (client_ != nullptr) {
            jack_deactivate(client_);
            jack_client_close(client_);
        }
        if (queue_ != nullptr)
            jack_ringbuffer_free(queue_);
    }
    Output(const Output &) = delete;
    Output &operator=(const Output &) = delete;

    // Queues one event; false when the queue has no room for it.
    bool Enqueue(const void *bytes, std::uint32_t length)
    {
        if (jack_ringbuffer_write_space(queue_) < sizeof length + length)
            return false;
        // The callback takes an event only once all its bytes are in.
        jack_ringbuffer_write(queue_, reinterpret_cast<const char *>(&length), sizeof length);
        jack_ringbuffer_write(queue_, static_cast<const char *>(bytes), length);
        ++queued_;
        return true;
    }

    // Queues the SoundOffMessages whole or not at all.
    bool EnqueueSoundOff()
    {
        constexpr std::size_t bytes = SoundOffMessages.size() * (sizeof(std::uint32_t) + 3);
        if (jack_ringbuffer_write_space(queue_) < bytes)
            return false;
        for (const auto &message : SoundOffMessages)
            Enqueue(message.data(), static_cast<std::uint32_t>(message.size()));
        return true;
    }

    // Whether the port is connected to `target` in the server's graph; read
    // from memory shared with the server, without a request to it.
    // A cycle has run with the connection made at the open.
    bool ConnectionInForce() const { return counters_->connected.load(std::memory_order_acquire); }

    bool WaitUntilConnected(std::chrono::milliseconds bound)
    {
        return WaitUntil([this] { return ConnectionInForce(); }, bound);
    }

    bool ConnectedTo(const std::string &target) const
    {
        return jack_port_connected_to(port_, target.c_str()) > 0;
    }

    std::uint64_t Queued() const { return queued_; }
    std::uint32_t MaxMessage() const { return maxMessage_; }
    std::shared_ptr<const Counters> SharedCounters() const { return counters_; }

    // A cycle has run with the connection in force: what is queued from now
    // on reaches the receiver.
    bool WaitUntilHandedOn(std::uint64_t events, std::chrono::milliseconds bound)
    {
        return WaitUntil([this, events] { return counters_->handedOn.load(std::memory_order_acquire) >= events; },
                         bound);
    }

private:
    Output() = default;

    // Sleeps a quarter period at a time; false when the server does not get
    // there within `bound` or has gone.
    template <class Reached>
    bool WaitUntil(Reached reached, std::chrono::milliseconds bound) const
    {
        const auto deadline = std::chrono::steady_clock::now() + bound;
        while (!reached()) {
            if (JackServerLost() || std::chrono::steady_clock::now() >= deadline)
                return false;
            std::this_thread::sleep_for(step_);
        }
        return true;
    }

    // The process thread: no allocation, no lock.
    static int Process(jack_nframes_t frames, void *self)
    {
        auto &out = *static_cast<Output *>(self);
        void *buffer = jack_port_get_buffer(out.port_, frames);
        jack_midi_clear_buffer(buffer);
        // A synchronous server starts a cycle once the last one has run
        // through every client; an asynchronous one need not wait for the
        // receivers, so what was written two cycles back counts as read.
        out.counters_->handedOn.store(out.writtenBefore_, std::memory_order_release);
        out.writtenBefore_ = out.written_;
        // The connections that this cycle's graph runs with. Until the one
        // made at the open is among them, what is written here reaches nobody:
        // the queue waits for it.
        if (jack_port_connected(out.port_) > 0)
            out.counters_->connected.store(true, std::memory_order_release);
        else if (!out.counters_->connected.load(std::memory_order_relaxed))
            return 0;

        std::uint32_t length = 0;
        while (jack_ringbuffer_peek(out.queue_, reinterpret_cast<char *>(&length), sizeof length) == sizeof length &&
               jack_ringbuffer_read_space(out.queue_) >= sizeof length + length) {
            jack_midi_data_t *place = jack_midi_event_reserve(buffer, 0, length);
            if (place == nullptr)
                break; // this cycle's buffer is full: the rest goes in the next
            jack_ringbuffer_read_advance(out.queue_, sizeof length);
            jack_ringbuffer_read(out.queue_, reinterpret_cast<char *>(place), length);
            ++out.written_;
        }
        return 0;
    }

    jack_client_t *client_ = nullptr;
    jack_port_t *port_ = nullptr;
    jack_ringbuffer_t *queue_ = nullptr;
    std::shared_ptr<Counters> counters_ = std::make_shared<Counters>();
    std::uint32_t maxMessage_ = 0;
    std::chrono::microseconds step_{100};
    std::uint64_t queued_ = 0;        // window's thread only
    std::uint64_t written_ = 0;       // process thread only
    std::uint64_t writtenBefore_ = 0; // process thread only: by the end of the last cycle
};

struct JackBackend::OpenPort {
    std::unique_ptr<Output> out; // null once the server has gone
    std::string target;          // the receiver's full name
    ShortMessageFramer framer;
    DriverCallbackProc callback = nullptr;
    std::uintptr_t instance = 0;
};

JackBackend::JackBackend()
{
    PrepareSoundLibraries();
}

JackBackend::~JackBackend()
{
    DropInputs(false);
    inputs_.clear();
    completions_.DropAll();
    for (auto &entry : open_)
        Discard(std::move(entry.second->out));
    open_.clear();
    jack_.reset();
}

void JackBackend::DropClientsOfLostServer()
{
    DropInputs(true);
    for (auto &entry : open_)
        Discard(std::move(entry.second->out), StuckCloseBound);
    completions_.DropAll();
    jack_.reset();
}

void JackBackend::RefreshDevices()
{
    counted_ = true;
    std::vector<std::string> listed;
    PrepareNewJackClient(); // drops the clients of a server that has gone
    if (jack_ == nullptr)
        jack_ = OpenPassiveJackClient(ListerName());
    // The ports that take MIDI: our output goes to JACK's input ports.
    if (const char **ports = jack_ ? jack_get_ports(jack_.get(), nullptr, JACK_DEFAULT_MIDI_TYPE, JackPortIsInput)
                                   : nullptr) {
        for (const char **port = ports; *port != nullptr; ++port)
            listed.emplace_back(*port);
        jack_free(ports);
    }
    ports_.Assign(listed);
}

std::uint32_t JackBackend::DeviceCount()
{
    if (!counted_)
        RefreshDevices();
    return static_cast<std::uint32_t>(ports_.Size());
}

MidiResult JackBackend::GetDevCaps(std::int32_t deviceId, MidiOutCaps *caps, std::uint32_t size)
{
    if (!counted_)
        RefreshDevices();
    return ports_.Caps(deviceId, JackDriverVersion(), caps, size);
}

MidiResult JackBackend::OpenOutput(OpenPort &port, const std::string &fullName)
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

    // Made on a thread of its own, so that a frozen server cannot hold the
    // window; what arrives after the wait was given up is closed there. The
    // connection goes by name: the port's index in a list could have
    // changed since.
    struct Opening {
        std::mutex mutex;
        std::unique_ptr<Output> out;
        bool abandoned = false;
    };
    auto opening = std::make_shared<Opening>();
    const bool done = RunBounded([opening, jack = jack_, fullName] {
        std::unique_ptr<Output> out = Output::Open(jack.get(), fullName);
        const std::lock_guard lock(opening->mutex);
        if (!opening->abandoned)
            opening->out = std::move(out);
    });
    std::unique_ptr<Output> out;
    {
        const std::lock_guard lock(opening->mutex);
        opening->abandoned = !done;
        out = std::move(opening->out);
    }
    if (out == nullptr)
        return MIDIERR_PORTGONE;
    // The server takes a new connection into its graph at the start of a
    // cycle; what is sent before that waits in the queue (the process
    // callback holds it until the connection is in force). The open still
    // waits for that cycle: libjack can deadlock closing a client whose
    // threads have not yet run a cycle, and a Stop may close at once. A
    // server too busy to get there within the bound keeps the port.
    if (!out->WaitUntilConnected(JackBound) && JackServerLost()) {
        Discard(std::move(out), StuckCloseBound);
        return MIDIERR_PORTGONE;
    }
    port.out = std::move(out);
    return MIDIERR_NOERROR;
}

MidiResult JackBackend::Open(DeviceHandle *handle, std::int32_t deviceId, DriverCallbackProc callback,
                             std::uintptr_t instance, std::uint32_t /*flags*/)
{
    if (handle == nullptr)
        return MIDIERR_INVALPARAM;
    if (!counted_)
        RefreshDevices();
    if (!ports_.Has(deviceId))
        return MIDIERR_BADDEVICEID;

    auto port = std::make_unique<OpenPort>();
    if (const MidiResult result = OpenOutput(*port, ports_.FullName(deviceId)))
        return result;
    port->target = ports_.FullName(deviceId);
    port->callback = callback;
    port->instance = instance;
    const DeviceHandle opened = nextHandle_++;
    open_[opened] = std::move(port);
    *handle = opened;
    if (callback != nullptr)
        callback(opened, MOM_OPEN, instance, 0, 0);
    return MIDIERR_NOERROR;
}

MidiResult JackBackend::Close(DeviceHandle handle)
{
    const auto found = open_.find(handle);
    if (found == open_.end())
        return MIDIERR_INVALHANDLE;
    OpenPort &port = *found->second;
    bool delivered = true;
    // Closing a port silences nothing by itself: what it leaves sounding
    // would sound on. The port must outlive the cycle that carries these to
    // the receiver.
    if (port.out != nullptr && !JackServerLost()) {
        for (const auto &message : SoundOffMessages)
            port.out->Enqueue(message.data(), static_cast<std::uint32_t>(message.size()));
        delivered = port.out->WaitUntilHandedOn(port.out->Queued(), JackBound);
    }
    // Long messages report their completion before the close does.
    completions_.Finish(handle, std::chrono::milliseconds(500));
    // A server that runs no cycles is frozen or gone: the close goes on
    // alone, and until it ends no new client is made.
    Discard(std::move(port.out), delivered ? JackBound : StuckCloseBound);
    const DriverCallbackProc callback = port.callback;
    const std::uintptr_t instance = port.instance;
    open_.erase(found);
    if (callback != nullptr)
        callback(handle, MOM_CLOSE, instance, 0, 0);
    return MIDIERR_NOERROR;
}

MidiResult JackBackend::Silence(DeviceHandle handle)
{
    const auto found = open_.find(handle);
    if (found == open_.end())
        return MIDIERR_INVALHANDLE;
    OpenPort &port = *found->second;
    // The port stays only while it still reaches its receiver: one that went,
    // or came back as a new port of the same name, is found by a reopen.
    // Nothing here waits for the server; a server that runs no cycles just
    // delivers the messages when it runs again.
    // A connection the server has not yet run holds what is queued until it
    // does, so such a port counts as reaching its receiver.
    if (port.out == nullptr || JackServerLost() ||
        (port.out->ConnectionInForce() && !port.out->ConnectedTo(port.target)))
        return MIDIERR_PORTGONE;
    if (!port.out->EnqueueSoundOff())
        return MIDIERR_SENDFAILED;
    // As after a reopen: no running status carries over.
    port.framer.Reset();
    return MIDIERR_NOERROR;
}

MidiResult JackBackend::ShortMessage(DeviceHandle handle, std::uint32_t message)
{
    const auto found = open_.find(handle);
    if (found == open_.end())
        return MIDIERR_INVALHANDLE;
    OpenPort &port = *found->second;
    if (port.out == nullptr || JackServerLost())
        return MIDIERR_PORTGONE;
    std::uint8_t bytes[3];
    const int length = port.framer.Frame(message, bytes);
    if (length == 0)
        return MIDIERR_NOTSHORT;
    return port.out->Enqueue(bytes, static_cast<std::uint32_t>(length)) ? MIDIERR_NOERROR : MIDIERR_SENDFAILED;
}

MidiResult JackBackend::PrepareHeader(DeviceHandle handle, MIDIHDR *header, std::uint32_t size)
{
    if (open_.count(handle) == 0)
        return MIDIERR_INVALHANDLE;
    return MarkPrepared(header, size);
}

MidiResult JackBackend::LongMessage(DeviceHandle handle, MIDIHDR *header, std::uint32_t size)
{
    const auto found = open_.find(handle);
    if (found == open_.end())
        return MIDIERR_INVALHANDLE;
    if (const MidiResult result = CheckQueueable(header, size))
        return result;
    OpenPort &port = *found->second;
    if (port.out == nullptr || JackServerLost())
        return MIDIERR_PORTGONE;
    // The bytes go out whole, in order with the short messages, or not at all.
    if (header->dwBufferLength > port.out->MaxMessage() || !port.out->Enqueue(header->lpData, header->dwBufferLength))
        return MIDIERR_SENDFAILED;
    MarkQueued(header, size);
    completions_.Queue(handle, header, port.callback, port.instance,
                       [counters = port.out->SharedCounters(), event = port.out->Queued()] {
                           if (JackServerLost())
                               return CompletionThread::Progress::Lost;
                           return counters->handedOn.load(std::memory_order_acquire) >= event
                                      ? CompletionThread::Progress::HandedOn
                                      : CompletionThread::Progress::Waiting;
                       });
    return MIDIERR_NOERROR;
}

MidiResult JackBackend::UnprepareHeader(DeviceHandle handle, MIDIHDR *header, std::uint32_t size)
{
    if (open_.count(handle) == 0)
        return MIDIERR_INVALHANDLE;
    return MarkUnprepared(header, size);
}

} // namespace midi_out

namespace midi_out {

// ---- Input: JACK sources ----

namespace {
constexpr const char *OwnInputPortName = "in";
} // namespace

// One open source: a client whose input port is connected to the source.
// Made and destroyed only on a bounded thread. Once Stop() has been called
// nothing reaches the driver callback any more, so the callback's instance
// may go before the client has finished closing.
class JackBackend::Input {
public:
    static std::unique_ptr<Input> Open(jack_client_t *lister, const std::string &source, DriverCallbackProc callback,
                                       DeviceHandle handle, std::uintptr_t instance)
    {
        std::unique_ptr<Input> in(new Input);
        in->callback_ = callback;
        in->handle_ = handle;
        in->instance_ = instance;
        in->source_ = source;
        jack_status_t status;
        in->client_ = jack_client_open(FreeJackClientName(lister).c_str(),
                                       jack_options_t(JackNoStartServer | JackUseExactName), &status);
        if (in->client_ == nullptr)
            return nullptr;
        jack_on_shutdown(in->client_, &Input::ServerGone, in.get());
        in->port_ = jack_port_register(in->client_, OwnInputPortName, JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
        if (in->port_ == nullptr || jack_set_process_callback(in->client_, &Input::Process, in.get()) != 0 ||
            jack_set_port_connect_callback(in->client_, &Input::ConnectionChanged, in.get()) != 0)
            return nullptr;
        in->rate_ = std::max<jack_nframes_t>(1, jack_get_sample_rate(in->client_));
        if (jack_activate(in->client_) != 0 ||
            jack_connect(in->client_, source.c_str(), jack_port_name(in->port_)) != 0)
            return nullptr;
        in->connected_.store(true, std::memory_order_release);
        return in;
    }

    ~Input()
    {
        Stop();
        if (client_ != nullptr) {
            jack_deactivate(client_);
            jack_client_close(client_);
        }
    }
    Input(const Input &) = delete;
    Input &operator=(const Input &) = delete;

    // From now on nothing is delivered, not even the loss that our own
    // disconnection looks like.
    void Stop() { stopped_.store(true, std::memory_order_release); }
    const std::string &Source() const { return source_; }

    // Tells the loss once (any thread).
    void Gone()
    {
        if (stopped_.load(std::memory_order_acquire) || gone_.exchange(true, std::memory_order_acq_rel))
            return;
        callback_(handle_, MIM_SOURCEGONE, instance_, 0, 0);
    }

private:
    Input() = default;

    // The process thread: no allocation, no lock.
    static int Process(jack_nframes_t frames, void *self)
    {
        auto &in = *static_cast<Input *>(self);
        if (in.stopped_.load(std::memory_order_acquire))
            return 0;
        // The connection to the source is gone when the port has none left
        // after it had one: its port or client went, or someone cut it.
        if (jack_port_connected(in.port_) > 0)
            in.seenConnected_ = true;
        else if (in.seenConnected_)
            in.Gone();
        void *buffer = jack_port_get_buffer(in.port_, frames);
        const jack_nframes_t start = jack_last_frame_time(in.client_);
        const std::uint32_t count = jack_midi_get_event_count(buffer);
        for (std::uint32_t i = 0; i < count; ++i) {
            jack_midi_event_t event;
            if (jack_midi_event_get(&event, buffer, i) != 0)
                continue;
            const auto ms = static_cast<std::uint32_t>((std::uint64_t{start} + event.time) * 1000 / in.rate_);
            DeliverInput(in.callback_, in.handle_, in.instance_, in.pool_, event.buffer, event.size, ms);
        }
        return 0;
    }

    // JACK's notification thread: the connection to the source broke (its
    // port or client went). Connections the user added beside it may come
    // and go.
    static void ConnectionChanged(jack_port_id_t a, jack_port_id_t b, int connect, void *self)
    {
        auto &in = *static_cast<Input *>(self);
        if (connect != 0 || !in.connected_.load(std::memory_order_acquire))
            return;
        const jack_port_t *first = jack_port_by_id(in.client_, a);
        const jack_port_t *second = jack_port_by_id(in.client_, b);
        // A port that went may no longer be found by its id: ask our own.
        const bool ours = first == in.port_ || second == in.port_ || first == nullptr || second == nullptr;
        if (ours && !jack_port_connected_to(in.port_, in.source_.c_str()))
            in.Gone();
    }

    static void ServerGone(void *self)
    {
        NoteJackServerLost();
        static_cast<Input *>(self)->Gone();
    }

    jack_client_t *client_ = nullptr;
    jack_port_t *port_ = nullptr;
    jack_nframes_t rate_ = 1;
    DriverCallbackProc callback_ = nullptr;
    DeviceHandle handle_ = 0;
    std::uintptr_t instance_ = 0;
    std::string source_;
    InputHeaderPool pool_;
    std::atomic<bool> connected_{false};
    bool seenConnected_ = false; // process thread only
    std::atomic<bool> stopped_{false};
    std::atomic<bool> gone_{false};
};

void JackBackend::DropInputs(bool tellGone)
{
    // The handles stay until their owners close them: a close after the
    // loss then succeeds instead of finding no such input.
    for (auto &entry : inputs_) {
        if (entry.second == nullptr)
            continue;
        if (tellGone)
            entry.second->Gone();
        entry.second->Stop();
        Discard(std::move(entry.second), StuckCloseBound);
    }
}

void JackBackend::RefreshInputs()
{
    sourcesListed_ = true;
    sources_.clear();
    PrepareNewJackClient(); // drops the clients of a server that has gone
    if (jack_ == nullptr)
        jack_ = OpenPassiveJackClient(ListerName());
    if (jack_ == nullptr)
        return;
    // The ports that give MIDI: our input reads from JACK's output ports.
    if (const char **listed = jack_get_ports(jack_.get(), nullptr, JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput)) {
        for (const char **port = listed; *port != nullptr; ++port)
            if (!IsOwnPort(*port))
                sources_.emplace_back(*port);
        jack_free(listed);
    }
    // A source missing from the new list has gone, whatever JACK told us.
    for (auto &[handle, input] : inputs_)
        if (input != nullptr && std::find(sources_.begin(), sources_.end(), input->Source()) == sources_.end())
            input->Gone();
}

std::uint32_t JackBackend::InputCount()
{
    if (!sourcesListed_)
        RefreshInputs();
    return static_cast<std::uint32_t>(sources_.size());
}

MidiResult JackBackend::GetInputName(std::int32_t inputId, std::string *name)
{
    if (!sourcesListed_)
        RefreshInputs();
    return CopyListedName(sources_, inputId, name);
}

MidiResult JackBackend::OpenInput(DeviceHandle *handle, std::int32_t inputId, DriverCallbackProc callback,
                                  std::uintptr_t instance)
{
    if (handle == nullptr || callback == nullptr)
        return MIDIERR_INVALPARAM;
    if (!sourcesListed_)
        RefreshInputs();
    if (inputId < 0 || static_cast<std::size_t>(inputId) >= sources_.size())
        return MIDIERR_BADDEVICEID;
    const std::string source = sources_[static_cast<std::size_t>(inputId)];
    PrepareNewJackClient();
    if (jack_ == nullptr || JackServerLost())
        return MIDIERR_PORTGONE;
    if (BoundedCallsPending() && !WaitForJackCycles(jack_.get(), 1, StuckCloseBound * 2))
        return MIDIERR_PORTGONE;
    if (jack_port_by_name(jack_.get(), source.c_str()) == nullptr)
        return MIDIERR_PORTGONE;

    // Made on a thread of its own, as an output is (see OpenOutput).
    struct Opening {
        std::mutex mutex;
        std::unique_ptr<Input> in;
        bool abandoned = false;
    };
    const DeviceHandle opened = nextHandle_;
    auto opening = std::make_shared<Opening>();
    const bool done = RunBounded([opening, jack = jack_, source, callback, opened, instance] {
        std::unique_ptr<Input> in = Input::Open(jack.get(), source, callback, opened, instance);
        const std::lock_guard lock(opening->mutex);
        if (opening->abandoned && in != nullptr)
            in->Stop();
        else
            opening->in = std::move(in);
    });
    std::unique_ptr<Input> in;
    {
        const std::lock_guard lock(opening->mutex);
        opening->abandoned = !done;
        in = std::move(opening->in);
    }
    if (in == nullptr)
        return MIDIERR_PORTGONE;
    ++nextHandle_;
    inputs_[opened] = std::move(in);
    *handle = opened;
    return MIDIERR_NOERROR;
}

MidiResult JackBackend::CloseInput(DeviceHandle handle)
{
    const auto found = inputs_.find(handle);
    if (found == inputs_.end())
        return MIDIERR_INVALHANDLE;
    if (found->second != nullptr) {
        found->second->Stop();
        Discard(std::move(found->second), JackServerLost() ? StuckCloseBound : JackBound);
    }
    inputs_.erase(found);
    return MIDIERR_NOERROR;
}

} // namespace midi_out
