#pragma once
// Helpers of the back-end tests: environment variables set for one scope, a
// JACK MIDI input port of the test's own that records what arrives, and a
// driver callback that records its notices.

#include "midi_out/BackendSupport.h"
#include "midi_out/JackSupport.h"
#include "midi_out/MidiBackend.h"
#include "midi_out/MidiDefs.h"
#include "midi_out/MidiErrors.h"
#include "support/EnvGuard.h"
#include "support/HangBound.h"
#include "support/QuietSpawn.h"
#include "support/JackMidiInput.h"

#include <gtest/gtest.h>
#include <jack/jack.h>
#include <jack/midiport.h>
#include <jack/ringbuffer.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

extern char **environ;

namespace backend_test {

using Bytes = std::vector<std::uint8_t>;

using testing_support::EnvGuard;

// The name a back end lists for a device, or "<none>".
inline std::string NameOf(midi_out::MidiBackend &backend, std::int32_t id)
{
    midi_out::MidiOutCaps caps;
    if (backend.GetDevCaps(id, &caps, sizeof caps) != midi_out::MIDIERR_NOERROR)
        return "<none>";
    return std::string(caps.szPname, strnlen(caps.szPname, sizeof caps.szPname));
}

// Index of the device called `name` after a refresh, or -1.
inline std::int32_t FindDevice(midi_out::MidiBackend &backend, const std::string &name)
{
    backend.RefreshDevices();
    const std::uint32_t count = backend.DeviceCount();
    for (std::uint32_t i = 0; i < count; ++i) {
        if (NameOf(backend, static_cast<std::int32_t>(i)) == name)
            return static_cast<std::int32_t>(i);
    }
    return -1;
}

// Whether a server answers under the name JACK_DEFAULT_SERVER gives now,
// asked in a process of its own: libjack can deadlock closing a client right
// after opening it, and its lock then holds every later open of this process.
// A probe that does not answer within the tests' hang bound counts as none.
inline bool JackServerRunning()
{
    const char *probe = SONORET_JACK_PROBE;
    char *argv[] = {const_cast<char *>(probe), nullptr};
    pid_t pid = 0;
    if (posix_spawn(&pid, probe, nullptr, nullptr, argv, environ) != 0)
        return false;
    const auto deadline = std::chrono::steady_clock::now() + testing_support::kHangBound;
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Runs `look` with a client of the default server that this process keeps
// open to its end, for the reason above; false without a server. Each call
// is bounded as the program bounds its own JACK calls, with the tests' hang
// bound; `look` owns what it uses, since a call given up goes on alone.
struct LookClient {
    std::mutex mutex;
    jack_client_t *client = nullptr;
    // Closed when the test program ends: a client whose process ends without
    // closing it is taken down by the server, which holds up its cycles.
    ~LookClient()
    {
        if (client != nullptr)
            midi_out::RunBounded([c = client] { jack_client_close(c); }, std::chrono::seconds(2));
    }
};
inline LookClient &TheLookClient()
{
    static LookClient look;
    return look;
}

template <class Look>
bool WithJackClient(Look look)
{
    midi_out::PrepareSoundLibraries(); // no server start, no JACK chatter
    auto result = std::make_shared<std::atomic<bool>>(false);
    midi_out::RunBounded([result, look] {
        LookClient &shared = TheLookClient();
        const std::lock_guard lock(shared.mutex);
        jack_client_t *&client = shared.client;
        if (client == nullptr) {
            const std::string name = "sonoret-test-look-" + std::to_string(getpid());
            jack_status_t status;
            client = jack_client_open(name.c_str(), JackNoStartServer, &status);
        }
        if (client != nullptr)
            result->store(look(client));
    }, testing_support::kHangBound);
    return result->load();
}

// Asked once per process: every client made is work for the server. An
// open can fail at once while the server is busy with other clients coming
// and going (other tests run beside this one), so a refusal is asked again a
// few times before the server counts as missing.
inline bool DefaultJackServerRunning()
{
    static const bool running = [] {
        for (int attempt = 0; attempt < 20; ++attempt) {
            if (JackServerRunning())
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return false;
    }();
    return running;
}

// The MIDI transport tests need a server; CI starts one. Missing, they fail.
#define REQUIRE_JACK_SERVER()                                                                      \
    do {                                                                                           \
        if (!::backend_test::DefaultJackServerRunning())                                           \
            GTEST_FAIL() << "no JACK server: run scripts/test.sh";                                 \
    } while (false)

// Repeats `attempt` until it holds, for at most five seconds: the server's
// end reaches the program on JACK's own thread.
template <class Attempt>
bool Eventually(Attempt attempt)
{
    const auto deadline = std::chrono::steady_clock::now() + testing_support::kHangBound;
    while (!attempt()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

// A server name that no other test and no other run uses.
inline std::string PrivateServerName(const char *test)
{
    return std::string("sonoret-") + test + "-" + std::to_string(getpid());
}

// A JACK server of the test's own, under a name no other test uses, so that
// it can be killed, frozen and started again without disturbing anyone. The
// test sets JACK_DEFAULT_SERVER to its name.
class PrivateJackServer {
public:
    // An asynchronous server (the default) starts each cycle whether or not
    // the last one has run through every client, so a receiver starved of
    // CPU for a period misses what came in it. A synchronous one waits: what
    // is lost there, the sender lost.
    enum class Mode { Asynchronous, Synchronous };

    explicit PrivateJackServer(std::string name, Mode mode = Mode::Asynchronous, int period = 256)
        : name_(std::move(name)), mode_(mode), period_(std::to_string(period))
    {
    }
    ~PrivateJackServer()
    {
        // A killed server leaves its entry in JACK's registry of servers (it
        // holds eight), and only a server of the same name clears it: start
        // one and end it the orderly way.
        if (killed_ && pid_ == 0)
            start();
        stop();
    }
    PrivateJackServer(const PrivateJackServer &) = delete;
    PrivateJackServer &operator=(const PrivateJackServer &) = delete;

    // Starts jackd with the dummy driver; true once it answers.
    bool start()
    {
        std::vector<std::string> arguments = {"jackd", "-n", name_, "--no-realtime"};
        if (mode_ == Mode::Synchronous)
            arguments.push_back("-S");
        for (const char *argument : {"-d", "dummy", "-r", "48000", "-p", period_.c_str()})
            arguments.emplace_back(argument);
        pid_ = testing_support::SpawnQuietly(std::move(arguments), {"JACK_NO_AUDIO_RESERVATION=1"});
        if (pid_ == 0)
            return false;
        killed_ = false;
        const auto deadline = std::chrono::steady_clock::now() + testing_support::kHangBound;
        while (std::chrono::steady_clock::now() < deadline) {
            if (JackServerRunning())
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }

    // Ends the server the orderly way.
    void stop() { end(SIGTERM); }
    // Ends it at once, as a crash would.
    void kill()
    {
        end(SIGKILL);
        killed_ = true;
    }
    // Stops and continues it, as a debugger or an overloaded machine would.
    void freeze()
    {
        if (pid_ != 0)
            ::kill(pid_, SIGSTOP);
    }
    void thaw()
    {
        if (pid_ != 0)
            ::kill(pid_, SIGCONT);
    }

private:
    void end(int signal)
    {
        if (pid_ == 0)
            return;
        ::kill(pid_, SIGCONT);
        ::kill(pid_, signal);
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = 0;
    }

    std::string name_;
    Mode mode_;
    std::string period_; // frames
    pid_t pid_ = 0;
    bool killed_ = false;
};

// A JACK MIDI input port under a client name no other test uses; records every
// message that arrives, real-time and system messages included. Written on
// the JACK API itself: its client is deactivated before the port goes, so the
// process thread never touches a port that is being removed.
class JackReceiver {
public:
    JackReceiver() : input_(ClientName(), &JackReceiver::Process, this) {}
    JackReceiver(const JackReceiver &) = delete;
    JackReceiver &operator=(const JackReceiver &) = delete;

    // The name under which the back ends list this port.
    std::string portName() const { return input_.PortName(); }

    // Waits until `count` messages have arrived in all (or the deadline has
    // passed) and returns everything received so far.
    std::vector<Bytes> waitFor(std::size_t count, std::chrono::milliseconds deadline = testing_support::kHangBound)
    {
        const auto end = std::chrono::steady_clock::now() + deadline;
        while (take().size() < count && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return received_;
    }

    // Everything received so far, after letting several more JACK periods
    // pass for messages that should not come.
    std::vector<Bytes> settle()
    {
        const std::size_t before = take().size();
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(100);
        while (take().size() == before && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return received_;
    }

    void clear()
    {
        take();
        received_.clear();
        frames_.clear();
    }

    // The server's frame time at which each message received so far arrived.
    const std::vector<jack_nframes_t> &frames()
    {
        take();
        return frames_;
    }

private:
    // Process thread: copies each event into the queue as a 32-bit length and
    // the bytes; an event that does not fit stops the copying for the cycle.
    static int Process(jack_nframes_t frames, void *self)
    {
        auto *receiver = static_cast<JackReceiver *>(self);
        void *buffer = jack_port_get_buffer(receiver->input_.Port(), frames);
        const jack_nframes_t start = jack_last_frame_time(receiver->input_.Client());
        const jack_nframes_t events = jack_midi_get_event_count(buffer);
        for (jack_nframes_t i = 0; i < events; ++i) {
            jack_midi_event_t event;
            if (jack_midi_event_get(&event, buffer, i) != 0)
                continue;
            const auto length = static_cast<std::uint32_t>(event.size);
            const jack_nframes_t frame = start + event.time;
            if (jack_ringbuffer_write_space(receiver->queue_.get()) < sizeof length + sizeof frame + length)
                break;
            jack_ringbuffer_write(receiver->queue_.get(), reinterpret_cast<const char *>(&frame), sizeof frame);
            jack_ringbuffer_write(receiver->queue_.get(), reinterpret_cast<const char *>(&length), sizeof length);
            jack_ringbuffer_write(receiver->queue_.get(), reinterpret_cast<const char *>(event.buffer), length);
        }
        return 0;
    }

    // Moves what the process thread queued into received_; a message is
    // taken only once all its bytes are there.
    const std::vector<Bytes> &take()
    {
        struct {
            jack_nframes_t frame;
            std::uint32_t length;
        } head;
        static_assert(sizeof head == sizeof head.frame + sizeof head.length);
        while (jack_ringbuffer_read_space(queue_.get()) >= sizeof head) {
            jack_ringbuffer_peek(queue_.get(), reinterpret_cast<char *>(&head), sizeof head);
            if (jack_ringbuffer_read_space(queue_.get()) < sizeof head + head.length)
                break;
            jack_ringbuffer_read_advance(queue_.get(), sizeof head);
            Bytes message(head.length);
            jack_ringbuffer_read(queue_.get(), reinterpret_cast<char *>(message.data()), head.length);
            received_.push_back(std::move(message));
            frames_.push_back(head.frame);
        }
        return received_;
    }

    static std::string ClientName()
    {
        static std::atomic<int> counter{0};
        return "sonoret-test-" + std::to_string(getpid()) + "-" + std::to_string(++counter);
    }

    std::unique_ptr<jack_ringbuffer_t, decltype(&jack_ringbuffer_free)> queue_{jack_ringbuffer_create(1 << 20),
                                                                               &jack_ringbuffer_free};
    std::vector<Bytes> received_;
    std::vector<jack_nframes_t> frames_;
    testing_support::JackMidiInput input_; // last: stops before the queue goes
};

// The messages that closing a port must send: All Sound Off and All Notes Off
// on every channel.
inline std::vector<Bytes> SilencingMessages()
{
    std::vector<Bytes> messages;
    for (std::uint8_t channel = 0; channel < 16; ++channel) {
        messages.push_back({static_cast<std::uint8_t>(0xB0 | channel), 120, 0});
        messages.push_back({static_cast<std::uint8_t>(0xB0 | channel), 123, 0});
    }
    return messages;
}

// Driver notices as a back end delivers them.
struct Notice {
    midi_out::DeviceHandle device;
    std::uint32_t message;
    std::uintptr_t instance;
    std::uintptr_t param1;
};

struct NoticeLog {
    std::vector<Notice> notices;

    static void Callback(midi_out::DeviceHandle device, std::uint32_t message, std::uintptr_t instance,
                         std::uintptr_t param1, std::uintptr_t)
    {
        reinterpret_cast<NoticeLog *>(instance)->notices.push_back({device, message, instance, param1});
    }
    std::uintptr_t instance() { return reinterpret_cast<std::uintptr_t>(this); }
};

inline std::uint32_t Pack(std::uint8_t status, std::uint8_t data1 = 0, std::uint8_t data2 = 0)
{
    return status | (data1 << 8) | (data2 << 16);
}

} // namespace backend_test
