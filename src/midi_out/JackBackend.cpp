#include "midi_out/JackBackend.h"

#include "midi_out/BackendSupport.h"
#include "midi_out/InputHeaders.h"
#include "midi_out/MidiErrors.h"

#include <jack/jack.h>
#include <jack/midiport.h>
#include <jack/ringbuffer.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <mutex>
#include <thread>

#include <unistd.h>

namespace midi_out {

namespace {

// Our ports: "out" and "in", numbered when one back end opens more than one.
constexpr const char *OutputPortBase = "out";
constexpr const char *InputPortBase = "in";

// Bytes queued towards one port: the longest message with room to spare for
// the short ones sent around it.
constexpr std::size_t QueueBytes = 32768;

// A close that cannot deliver the silencing messages (the server is not
// running its cycles) waits only this long for the port to go.
constexpr std::chrono::milliseconds StuckCloseBound{50};

// How long the end of the back end waits for the cycles that carry what its
// open ports still queue (the last Note Off of a stop): many periods of any
// server, short enough not to hold up the program's end on a frozen one.
constexpr std::chrono::milliseconds LastCyclesBound{100};

// Ports one back end can have open at once.
constexpr std::size_t MaxPorts = 32;

// How long taking a port out of the table waits for a callback of ours that
// runs over it. Our callbacks never wait, so only a stopped thread gets there.
constexpr std::chrono::milliseconds CallbackBound{250};

std::uint32_t JackDriverVersion()
{
    static const std::uint32_t version = PackDriverVersion(jack_get_version_string());
    return version;
}

// The name of our client; with the process id, so that another program
// (another instance of this one, too) does not take it between the look and
// the open. It must stay as asked: our own ports are known by it.
std::string OwnJackClientName(int number)
{
    const std::string base = std::string(OwnClientName) + "-" + std::to_string(getpid());
    return number == 0 ? base : base + "0" + std::to_string(number);
}

} // namespace

// A port of our client, run by the table's callbacks.
class JackBackend::Port {
public:
    virtual ~Port() = default;
    Port(const Port &) = delete;
    Port &operator=(const Port &) = delete;

    // The process thread: no allocation, no lock, no waiting. Outputs run
    // before inputs in every cycle, so that an input can add what it
    // forwards to an output's buffer for that cycle.
    virtual void Run(jack_nframes_t frames) noexcept = 0;
    virtual bool IsInput() const noexcept { return false; }
    // JACK's notification thread: a connection was made or broken somewhere.
    virtual void ConnectionChanged(jack_port_id_t /*a*/, jack_port_id_t /*b*/, int /*connect*/) noexcept {}
    // The server has gone.
    virtual void ServerGone() noexcept {}

    jack_port_t *Handle() const { return port_; }

protected:
    explicit Port(jack_client_t *client) : client_(client) {}

    jack_client_t *client_;
    jack_port_t *port_ = nullptr;
};

// The ports our client's callbacks run over. A port is taken out before its
// memory goes: once Remove has returned, no callback of ours touches it. Each
// callback passes a gate of its own (each is called from one thread at a
// time), so that Remove can tell when a callback that may still see the port
// has left.
class JackBackend::PortTable {
public:
    // Before the client is activated.
    bool Attach(jack_client_t *client)
    {
        jack_on_shutdown(client, &PortTable::Shutdown, this);
        return jack_set_process_callback(client, &PortTable::Process, this) == 0 &&
               jack_set_port_connect_callback(client, &PortTable::Connect, this) == 0;
    }

    bool Insert(Port *port)
    {
        for (auto &slot : slots_) {
            Port *empty = nullptr;
            if (slot.compare_exchange_strong(empty, port))
                return true;
        }
        return false;
    }

    // False when a callback of ours did not leave in time: the port must
    // then never be freed.
    bool Remove(const Port *port)
    {
        for (auto &slot : slots_)
            if (slot.load() == port)
                slot.store(nullptr);
        return process_.WaitOut() && notices_.WaitOut() && shutdown_.WaitOut();
    }

    // Waits until every process cycle begun before the call has ended.
    bool WaitOutCycle() const { return process_.WaitOut(); }

    // The client runs its callbacks while it has ports (bounded threads
    // only). An activation waits for the client's first cycle: libjack can
    // deadlock closing a client whose threads have not yet run one, and a
    // process that ends with its client still in a synchronous server's
    // graph holds up every other client's cycles.
    bool Activate(jack_client_t *client)
    {
        const std::lock_guard lock(activation_);
        if (!activated_) {
            // A client without its own wait point would stop the server's
            // cycles: another client of this process may still be taking in
            // that the point's former owner went.
            if (!WaitForOwnWaitPoint(client, JackBound / 4))
                return false;
            const std::uint64_t before = process_.Passes();
            activated_ = jack_activate(client) == 0;
            const auto deadline = std::chrono::steady_clock::now() + JackBound;
            while (activated_ && process_.Passes() == before && std::chrono::steady_clock::now() < deadline &&
                   !JackServerLost())
                std::this_thread::sleep_for(std::chrono::microseconds(250));
        }
        return activated_;
    }

    // Without ports the client leaves the graph (bounded threads only).
    void DeactivateWhenEmpty(jack_client_t *client)
    {
        const std::lock_guard lock(activation_);
        for (const auto &slot : slots_)
            if (slot.load() != nullptr)
                return;
        if (activated_ && jack_deactivate(client) == 0)
            activated_ = false;
    }

private:
    class Gate {
    public:
        void Enter() noexcept { entered_.fetch_add(1); }
        void Leave() noexcept { left_.fetch_add(1); }
        std::uint64_t Passes() const noexcept { return entered_.load(); }
        // Waits until every pass begun before the call has ended; a pass
        // begun later sees the table as it is now.
        bool WaitOut() const
        {
            const std::uint64_t entered = entered_.load();
            const auto deadline = std::chrono::steady_clock::now() + CallbackBound;
            while (left_.load() < entered) {
                if (std::chrono::steady_clock::now() >= deadline)
                    return false;
                std::this_thread::yield();
            }
            return true;
        }

    private:
        std::atomic<std::uint64_t> entered_{0};
        std::atomic<std::uint64_t> left_{0};
    };

    template <class Visit>
    void ForEach(Gate &gate, Visit visit) noexcept
    {
        gate.Enter();
        for (auto &slot : slots_)
            if (Port *port = slot.load())
                visit(*port);
        gate.Leave();
    }

    static int Process(jack_nframes_t frames, void *self)
    {
        auto &table = *static_cast<PortTable *>(self);
        table.process_.Enter();
        for (const bool inputs : {false, true})
            for (auto &slot : table.slots_)
                if (Port *port = slot.load(); port != nullptr && port->IsInput() == inputs)
                    port->Run(frames);
        table.process_.Leave();
        return 0;
    }

    static void Connect(jack_port_id_t a, jack_port_id_t b, int connect, void *self)
    {
        auto &table = *static_cast<PortTable *>(self);
        table.ForEach(table.notices_, [=](Port &port) { port.ConnectionChanged(a, b, connect); });
    }

    static void Shutdown(void *self)
    {
        NoteJackServerLost();
        auto &table = *static_cast<PortTable *>(self);
        table.ForEach(table.shutdown_, [](Port &port) { port.ServerGone(); });
    }

    std::array<std::atomic<Port *>, MaxPorts> slots_{};
    Gate process_, notices_, shutdown_;
    std::mutex activation_;
    bool activated_ = false;
};

// One open device: an output port whose process callback drains a
// single-producer queue that the window's thread fills. Each event is queued
// as its length (32 bits) followed by its bytes.
class JackBackend::Output : public Port {
public:
    // What the callback tells the window's and the completion thread. Shared:
    // a completion check may look at it after the port has gone.
    struct Counters {
        // A cycle has run with the port connected in that cycle's graph.
        std::atomic<bool> connected{false};
        // Events that every receiver has had a whole cycle to read.
        std::atomic<std::uint64_t> handedOn{0};
    };

    // Registers the port (a bounded thread: it waits for the server); null
    // when that fails.
    static std::unique_ptr<Output> Make(jack_client_t *client, const std::string &name)
    {
        std::unique_ptr<Output> out(new Output(client));
        out->queue_ = jack_ringbuffer_create(QueueBytes);
        if (out->queue_ == nullptr)
            return nullptr;
        out->port_ = jack_port_register(client, name.c_str(), JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
        if (out->port_ == nullptr)
            return nullptr;
        // Half a cycle's MIDI buffer: an event that size always fits an empty one.
        const std::size_t buffer = jack_port_type_get_buffer_size(client, JACK_DEFAULT_MIDI_TYPE);
        out->maxMessage_ = static_cast<std::uint32_t>(std::min<std::size_t>(MaxJackMessage, buffer / 2));
        const jack_nframes_t rate = std::max<jack_nframes_t>(1, jack_get_sample_rate(client));
        out->step_ = std::chrono::microseconds(
            std::max<long long>(100, 250000LL * jack_get_buffer_size(client) / rate));
        return out;
    }

    ~Output() override
    {
        if (queue_ != nullptr)
            jack_ringbuffer_free(queue_);
    }

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

    // A cycle has run with the connection made at the open; read from
    // memory shared with the server, without a request to it.
    bool ConnectionInForce() const { return counters_->connected.load(std::memory_order_acquire); }

    bool ConnectedTo(const std::string &target) const
    {
        return jack_port_connected_to(port_, target.c_str()) > 0;
    }

    std::uint64_t Queued() const { return queued_; }
    std::uint32_t MaxMessage() const { return maxMessage_; }
    std::shared_ptr<const Counters> SharedCounters() const { return counters_; }

    // Every receiver has had a whole cycle to read what was queued up to
    // `events`; false when the server does not get there within `bound`.
    bool WaitUntilHandedOn(std::uint64_t events, std::chrono::milliseconds bound) const
    {
        const auto deadline = std::chrono::steady_clock::now() + bound;
        while (counters_->handedOn.load(std::memory_order_acquire) < events) {
            if (JackServerLost() || std::chrono::steady_clock::now() >= deadline)
                return false;
            std::this_thread::sleep_for(step_);
        }
        return true;
    }

    void Run(jack_nframes_t frames) noexcept override
    {
        void *buffer = jack_port_get_buffer(port_, frames);
        jack_midi_clear_buffer(buffer);
        cycleBuffer_ = nullptr;
        cycleStart_ = jack_last_frame_time(client_);
        lastFrame_ = 0;
        // A synchronous server starts a cycle once the last one has run
        // through every client; an asynchronous one need not wait for the
        // receivers, so what was written two cycles back counts as read.
        counters_->handedOn.store(writtenBefore_, std::memory_order_release);
        writtenBefore_ = written_;
        // The connections that this cycle's graph runs with. Until the one
        // made at the open is among them, what is written here reaches nobody:
        // the queue waits for it.
        if (jack_port_connected(port_) > 0)
            counters_->connected.store(true, std::memory_order_release);
        else if (!counters_->connected.load(std::memory_order_relaxed))
            return;
        cycleBuffer_ = buffer;

        std::uint32_t length = 0;
        while (jack_ringbuffer_peek(queue_, reinterpret_cast<char *>(&length), sizeof length) == sizeof length &&
               jack_ringbuffer_read_space(queue_) >= sizeof length + length) {
            jack_midi_data_t *place = jack_midi_event_reserve(buffer, 0, length);
            if (place == nullptr)
                break; // this cycle's buffer is full: the rest goes in the next
            jack_ringbuffer_read_advance(queue_, sizeof length);
            jack_ringbuffer_read(queue_, reinterpret_cast<char *>(place), length);
            ++written_;
        }
    }

    // MIDI thru: an input of ours adds a message that arrived `frame`
    // frames into this cycle, after this port's Run in the same cycle. False
    // when it cannot go in this cycle (no connection in force yet, the
    // buffer full) or would overtake what the window's thread queued: the
    // input then leaves it to the reader.
    bool Forward(const std::uint8_t *bytes, std::size_t length, jack_nframes_t cycle, jack_nframes_t frame) noexcept
    {
        // A port that has not run in this cycle holds the last one's buffer.
        if (cycleBuffer_ == nullptr || cycle != cycleStart_ || jack_ringbuffer_read_space(queue_) != 0)
            return false;
        // Events in a cycle's buffer must not go back in time; what the
        // queue brought sits at frame 0.
        lastFrame_ = std::max(lastFrame_, frame);
        return jack_midi_event_write(cycleBuffer_, lastFrame_, bytes, length) == 0;
    }

private:
    using Port::Port;

    jack_ringbuffer_t *queue_ = nullptr;
    std::shared_ptr<Counters> counters_ = std::make_shared<Counters>();
    std::uint32_t maxMessage_ = 0;
    std::chrono::microseconds step_{100};
    std::uint64_t queued_ = 0;        // window's thread only
    std::uint64_t written_ = 0;       // process thread only
    std::uint64_t writtenBefore_ = 0; // process thread only: by the end of the last cycle
    void *cycleBuffer_ = nullptr;     // process thread only: this cycle's, once connected
    jack_nframes_t cycleStart_ = 0;   // process thread only: the cycle cycleBuffer_ is of
    jack_nframes_t lastFrame_ = 0;    // process thread only: of the last event forwarded
};

// One open source: an input port of our client connected to the source.
// Once Stop() has been called nothing reaches the driver callback any more,
// so the callback's instance may go before the port has left the table.
class JackBackend::Input : public Port {
public:
    // Registers the port (a bounded thread); null when that fails.
    static std::unique_ptr<Input> Make(jack_client_t *client, const std::string &name, const std::string &source,
                                       DriverCallbackProc callback, DeviceHandle handle, std::uintptr_t instance)
    {
        std::unique_ptr<Input> in(new Input(client));
        in->callback_ = callback;
        in->handle_ = handle;
        in->instance_ = instance;
        in->source_ = source;
        in->rate_ = std::max<jack_nframes_t>(1, jack_get_sample_rate(client));
        in->port_ = jack_port_register(client, name.c_str(), JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
        return in->port_ != nullptr ? std::move(in) : nullptr;
    }

    // A bounded thread, once the port is in the table.
    bool Connect()
    {
        if (jack_connect(client_, source_.c_str(), jack_port_name(port_)) != 0)
            return false;
        connected_.store(true, std::memory_order_release);
        return true;
    }

    // From now on nothing is delivered, not even the loss that our own
    // disconnection looks like.
    void Stop() { stopped_.store(true, std::memory_order_release); }
    // MIDI thru to `out` (null: none). The output stays until a cycle
    // begun after the thru to it ended has ended (PortTable::Remove).
    void SetThru(Output *out) { thru_.store(out, std::memory_order_release); }
    const Output *Thru() const { return thru_.load(std::memory_order_acquire); }
    // MIDI thru to another back end's device.
    ThruSlot &Foreign() { return foreign_; }
    bool IsInput() const noexcept override { return true; }
    const std::string &Source() const { return source_; }

    // Tells the loss once (any thread).
    void Gone() noexcept
    {
        if (stopped_.load(std::memory_order_acquire) || gone_.exchange(true, std::memory_order_acq_rel))
            return;
        callback_(handle_, MIM_SOURCEGONE, instance_, 0, 0);
    }

    void Run(jack_nframes_t frames) noexcept override
    {
        if (stopped_.load(std::memory_order_acquire))
            return;
        // The connection to the source is gone when the port has none left
        // after it had one: its port or client went, or someone cut it.
        if (jack_port_connected(port_) > 0)
            seenConnected_ = true;
        else if (seenConnected_)
            Gone();
        void *buffer = jack_port_get_buffer(port_, frames);
        const jack_nframes_t start = jack_last_frame_time(client_);
        const std::uint32_t count = jack_midi_get_event_count(buffer);
        Output *thru = thru_.load(std::memory_order_acquire);
        for (std::uint32_t i = 0; i < count; ++i) {
            jack_midi_event_t event;
            if (jack_midi_event_get(&event, buffer, i) != 0)
                continue;
            const auto ms = static_cast<std::uint32_t>((std::uint64_t{start} + event.time) * 1000 / rate_);
            // Sent on in this very cycle, at the frame it arrived; the
            // reader then only records it and lights its key. One that
            // cannot go ends the thru until the reader, having sent it,
            // sets it again: nothing later may overtake it.
            bool forwarded = false;
            if (thru != nullptr && IsThruMessage(event.buffer, event.size)) {
                forwarded = thru->Forward(event.buffer, event.size, start, event.time);
                if (!forwarded) {
                    thru_.compare_exchange_strong(thru, nullptr);
                    thru = nullptr;
                }
            } else if (thru == nullptr) {
                forwarded = foreign_.Forward(event.buffer, event.size);
            }
            DeliverInput(callback_, handle_, instance_, pool_, event.buffer, event.size, ms, forwarded);
        }
    }

    // The connection to the source broke (its port or client went).
    // Connections the user added beside it may come and go.
    void ConnectionChanged(jack_port_id_t a, jack_port_id_t b, int connect) noexcept override
    {
        if (connect != 0 || !connected_.load(std::memory_order_acquire))
            return;
        const jack_port_t *first = jack_port_by_id(client_, a);
        const jack_port_t *second = jack_port_by_id(client_, b);
        // A port that went may no longer be found by its id: ask our own.
        const bool ours = first == port_ || second == port_ || first == nullptr || second == nullptr;
        if (ours && !jack_port_connected_to(port_, source_.c_str()))
            Gone();
    }

    void ServerGone() noexcept override { Gone(); }

private:
    using Port::Port;

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
    std::atomic<Output *> thru_{nullptr};
    ThruSlot foreign_;
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
    // Closing the client takes its ports with it, and with them what a cycle
    // has not yet carried to the receivers.
    const auto end = std::chrono::steady_clock::now() + LastCyclesBound;
    for (auto &entry : open_) {
        const Output *out = entry.second->out.get();
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        if (out != nullptr && !JackServerLost() && left.count() > 0)
            out->WaitUntilHandedOn(out->Queued(), left);
    }
    for (auto &entry : open_)
        RemovePort(std::move(entry.second->out), false);
    open_.Clear();
    jack_.reset();
    table_.reset();
}

void JackBackend::DropClientsOfLostServer()
{
    DropInputs(true);
    for (auto &entry : open_)
        RemovePort(std::move(entry.second->out), false);
    completions_.DropAll();
    jack_.reset();
    table_.reset();
}

bool JackBackend::HaveClient()
{
    if (jack_ != nullptr)
        return true;
    // The table's callbacks are set before the client is ever activated, and
    // the table lives until the client's close has ended.
    auto table = std::make_shared<PortTable>();
    for (int number = 0; number < 100 && jack_ == nullptr; ++number) {
        bool taken = false;
        jack_ = OpenPassiveJackClient(OwnJackClientName(number), true, table, &taken);
        if (jack_ == nullptr && !taken)
            return false;
    }
    if (jack_ == nullptr || !table->Attach(jack_.get())) {
        jack_.reset();
        return false;
    }
    table_ = std::move(table);
    return true;
}

template <class Made>
std::unique_ptr<Made> JackBackend::AddPort(std::function<std::unique_ptr<Made>(jack_client_t *)> make,
                                           std::function<bool(jack_client_t *, Made &)> connect)
{
    // On a thread of its own, so that a frozen server cannot hold the window;
    // a port that arrives after the wait was given up is taken away there.
    struct Adding {
        std::mutex mutex;
        std::unique_ptr<Made> port;
        bool abandoned = false;
    };
    auto adding = std::make_shared<Adding>();
    const bool done = RunBounded([adding, jack = jack_, table = table_, make, connect] {
        jack_client_t *client = jack.get();
        std::unique_ptr<Made> port = make(client);
        const auto undo = [&] {
            if (port == nullptr)
                return;
            if (!table->Remove(port.get())) {
                port.release(); // a callback may still hold it
                return;
            }
            jack_port_unregister(client, port->Handle());
            port.reset();
        };
        if (port != nullptr && (!table->Insert(port.get()) || !table->Activate(client) || !connect(client, *port)))
            undo();
        const std::lock_guard lock(adding->mutex);
        if (adding->abandoned)
            undo();
        else
            adding->port = std::move(port);
    });
    const std::lock_guard lock(adding->mutex);
    adding->abandoned = !done;
    return std::move(adding->port);
}

void JackBackend::RemovePort(std::unique_ptr<Port> port, bool unregister, std::chrono::milliseconds bound)
{
    if (port == nullptr)
        return;
    if (table_ == nullptr || !table_->Remove(port.get())) {
        port.release(); // a callback of ours may still run over it
        return;
    }
    // The port's name is free again once this has ended: a port opened
    // right after may want it.
    if (unregister && jack_ != nullptr && !JackServerLost())
        RunBounded([jack = jack_, table = table_, handle = port->Handle()] {
            // Out of the running graph first. The server gives a port's number
            // to the next port registered as soon as the port goes, while the
            // cycle under way still runs the old connections: a client reading
            // from us then finds an input port under that number, reads
            // through it in a loop until the graph changes, and holds up the
            // server's cycles.
            if (jack_port_connected(handle) > 0 && jack_port_disconnect(jack.get(), handle) == 0)
                WaitForJackCycles(jack.get(), 2, StuckCloseBound * 2);
            jack_port_unregister(jack.get(), handle);
            table->DeactivateWhenEmpty(jack.get());
        }, bound);
}

std::string JackBackend::FreePortName(const char *base) const
{
    std::vector<std::string> taken;
    for (const auto &entry : open_)
        if (entry.second->out != nullptr)
            taken.emplace_back(jack_port_short_name(entry.second->out->Handle()));
    for (const auto &entry : inputs_)
        if (entry.second != nullptr)
            taken.emplace_back(jack_port_short_name(entry.second->Handle()));
    std::string name = base;
    for (int number = 2; std::find(taken.begin(), taken.end(), name) != taken.end(); ++number)
        name = std::string(base) + "-" + std::to_string(number);
    return name;
}

MidiResult JackBackend::CanAddPort(const std::string &peer)
{
    PrepareNewJackClient(); // drops the client of a server that has gone
    if (!HaveClient() || JackServerLost())
        return MIDIERR_PORTGONE;
    // A step that outlived its wait: on a server that still runs its cycles
    // it is only slow; on one that runs none the port is given up.
    if (BoundedCallsPending() && !WaitForJackCycles(jack_.get(), 1, StuckCloseBound * 2))
        return MIDIERR_PORTGONE;
    if (jack_port_by_name(jack_.get(), peer.c_str()) == nullptr)
        return MIDIERR_PORTGONE;
    return MIDIERR_NOERROR;
}

void JackBackend::RefreshDevices()
{
    std::vector<std::string> listed;
    PrepareNewJackClient(); // drops the client of a server that has gone
    // The ports that take MIDI: our output goes to JACK's input ports.
    if (const char **ports =
            HaveClient() ? jack_get_ports(jack_.get(), nullptr, JACK_DEFAULT_MIDI_TYPE, JackPortIsInput) : nullptr) {
        for (const char **port = ports; *port != nullptr; ++port)
            listed.emplace_back(*port);
        jack_free(ports);
    }
    AssignPorts(listed);
}

std::uint32_t JackBackend::DriverVersion() const { return JackDriverVersion(); }

MidiResult JackBackend::OpenOutput(OpenPort &port, const std::string &fullName)
{
    if (const MidiResult result = CanAddPort(fullName))
        return result;
    // The connection goes by name: the port's index in a list could have
    // changed since. The server takes it into its graph at the start of a
    // cycle; what is sent before that waits in the queue, so the open does
    // not wait for it.
    const std::string name = FreePortName(OutputPortBase);
    std::unique_ptr<Output> out = AddPort<Output>(
        [name](jack_client_t *client) { return Output::Make(client, name); },
        [fullName](jack_client_t *client, Output &made) {
            return jack_connect(client, jack_port_name(made.Handle()), fullName.c_str()) == 0;
        });
    if (out == nullptr)
        return MIDIERR_PORTGONE;
    port.out = std::move(out);
    return MIDIERR_NOERROR;
}

MidiResult JackBackend::Open(DeviceHandle *handle, std::int32_t deviceId, DriverCallbackProc callback,
                             std::uintptr_t instance, std::uint32_t /*flags*/)
{
    if (handle == nullptr)
        return MIDIERR_INVALPARAM;
    const std::string *target = ListedPort(deviceId);
    if (target == nullptr)
        return MIDIERR_BADDEVICEID;

    auto port = std::make_unique<OpenPort>();
    if (const MidiResult result = OpenOutput(*port, *target))
        return result;
    port->target = *target;
    open_.Add(std::move(port), callback, instance, nextHandle_, handle);
    return MIDIERR_NOERROR;
}

MidiResult JackBackend::Close(DeviceHandle handle)
{
    OpenPort *found = open_.Find(handle);
    if (found == nullptr)
        return MIDIERR_INVALHANDLE;
    OpenPort &port = *found;
    bool delivered = true;
    // Closing a port silences nothing by itself: what it leaves sounding
    // would sound on. The port must outlive the cycle that carries these to
    // the receiver.
    if (port.out != nullptr && !JackServerLost()) {
        for (const auto &message : SoundOffMessages)
            port.out->Enqueue(message.data(), static_cast<std::uint32_t>(message.size()));
        delivered = port.out->WaitUntilHandedOn(port.out->Queued(), JackBound);
    }
    // Nothing is forwarded to a port that goes: RemovePort waits out the
    // cycle that may still do it.
    for (auto &entry : inputs_)
        if (entry.second != nullptr && port.out != nullptr && entry.second->Thru() == port.out.get())
            entry.second->SetThru(nullptr);
    // Long messages report their completion before the close does.
    completions_.Finish(handle, std::chrono::milliseconds(500));
    // A server that runs no cycles is frozen or gone: the port's removal
    // goes on alone, and until it ends no new port is added.
    RemovePort(std::move(port.out), true, delivered ? JackBound : StuckCloseBound);
    open_.Remove(handle);
    return MIDIERR_NOERROR;
}

MidiResult JackBackend::Silence(DeviceHandle handle)
{
    OpenPort *found = open_.Find(handle);
    if (found == nullptr)
        return MIDIERR_INVALHANDLE;
    OpenPort &port = *found;
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

MidiResult JackBackend::Lost(DeviceHandle handle)
{
    const OpenPort *found = open_.Find(handle);
    if (found == nullptr)
        return MIDIERR_NOERROR;
    return found->out == nullptr || JackServerLost() ? MIDIERR_PORTGONE : MIDIERR_NOERROR;
}

MidiResult JackBackend::ShortMessage(DeviceHandle handle, std::uint32_t message)
{
    OpenPort *found = open_.Find(handle);
    if (found == nullptr)
        return MIDIERR_INVALHANDLE;
    OpenPort &port = *found;
    if (port.out == nullptr || JackServerLost())
        return MIDIERR_PORTGONE;
    std::uint8_t bytes[3];
    const int length = port.framer.Frame(message, bytes);
    if (length == 0)
        return MIDIERR_NOTSHORT;
    return port.out->Enqueue(bytes, static_cast<std::uint32_t>(length)) ? MIDIERR_NOERROR : MIDIERR_SENDFAILED;
}

MidiResult JackBackend::LongMessage(DeviceHandle handle, MIDIHDR *header, std::uint32_t size)
{
    MidiResult notQueueable = MIDIERR_NOERROR;
    OpenPort *queueable = open_.Queueable(handle, header, size, notQueueable);
    if (queueable == nullptr)
        return notQueueable;
    OpenPort &port = *queueable;
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

// ---- Input: JACK sources ----

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
        RemovePort(std::move(entry.second), false);
    }
}

void JackBackend::RefreshInputs()
{
    std::vector<std::string> &sources = NewSourceList();
    PrepareNewJackClient(); // drops the client of a server that has gone
    if (!HaveClient())
        return;
    // The ports that give MIDI: our input reads from JACK's output ports.
    if (const char **listed = jack_get_ports(jack_.get(), nullptr, JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput)) {
        for (const char **port = listed; *port != nullptr; ++port)
            if (!IsOwnPort(*port))
                sources.emplace_back(*port);
        jack_free(listed);
    }
    // A source missing from the new list has gone, whatever JACK told us.
    for (auto &[handle, input] : inputs_)
        if (input != nullptr && !IsListed(input->Source()))
            input->Gone();
}

MidiResult JackBackend::OpenInput(DeviceHandle *handle, std::int32_t inputId, DriverCallbackProc callback,
                                  std::uintptr_t instance)
{
    if (handle == nullptr || callback == nullptr)
        return MIDIERR_INVALPARAM;
    const std::string *listed = ListedSource(inputId);
    if (listed == nullptr)
        return MIDIERR_BADDEVICEID;
    const std::string source = *listed;
    if (const MidiResult result = CanAddPort(source))
        return result;

    const DeviceHandle opened = nextHandle_;
    const std::string name = FreePortName(InputPortBase);
    std::unique_ptr<Input> in = AddPort<Input>(
        [=](jack_client_t *client) { return Input::Make(client, name, source, callback, opened, instance); },
        [](jack_client_t *, Input &made) { return made.Connect(); });
    if (in == nullptr)
        return MIDIERR_PORTGONE;
    ++nextHandle_;
    inputs_[opened] = std::move(in);
    *handle = opened;
    return MIDIERR_NOERROR;
}

bool JackBackend::SetThru(DeviceHandle input, DeviceHandle output)
{
    const auto in = inputs_.find(input);
    if (in == inputs_.end() || in->second == nullptr)
        return false;
    if (output == 0) {
        in->second->SetThru(nullptr);
        return in->second->Foreign().Set(nullptr) && (table_ == nullptr || table_->WaitOutCycle());
    }
    const OpenPort *found = open_.Find(output);
    if (found == nullptr || found->out == nullptr || JackServerLost())
        return false;
    in->second->Foreign().Set(nullptr);
    in->second->SetThru(found->out.get());
    return true;
}

bool JackBackend::SetThruTarget(DeviceHandle input, ThruTarget *target)
{
    const auto in = inputs_.find(input);
    if (in == inputs_.end() || in->second == nullptr)
        return target == nullptr;
    in->second->SetThru(nullptr);
    return in->second->Foreign().Set(target);
}

MidiResult JackBackend::CloseInput(DeviceHandle handle)
{
    const auto found = inputs_.find(handle);
    if (found == inputs_.end())
        return MIDIERR_INVALHANDLE;
    if (found->second != nullptr) {
        found->second->Stop();
        RemovePort(std::move(found->second), !JackServerLost());
    }
    inputs_.erase(found);
    return MIDIERR_NOERROR;
}

} // namespace midi_out
