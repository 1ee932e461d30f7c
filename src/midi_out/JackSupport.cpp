#include "midi_out/JackSupport.h"

#include "midi_out/BackendSupport.h"

#include <jack/jack.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <fstream>
#include <mutex>
#include <sstream>
#include <system_error>
#include <thread>
#include <vector>

namespace midi_out {

namespace {

std::atomic<int> pendingCalls{0};

// Locks and lists that detached worker threads use. They are never destroyed:
// a worker that outlives the program's end (a close still waiting on a frozen
// server) must not find them torn down under it.
struct SharedState {
    std::mutex pendingMutex;
    std::condition_variable pendingDone;
    std::mutex ownersMutex;
    std::vector<JackClientOwner *> owners;
};

SharedState &Shared()
{
    static SharedState *const state = new SharedState;
    return *state;
}

// At the program's end, the calls still running get a while to finish before
// the libraries they use are torn down under them (a JACK client's close may
// take longer than the window waited for it).
struct EndWaitsForCalls {
    ~EndWaitsForCalls() { WaitForBoundedCalls(std::chrono::seconds(2)); }
} endWaitsForCalls;

std::atomic<bool> serverLost{false};


} // namespace

bool RunBounded(std::function<void()> work, std::chrono::milliseconds bound)
{
    struct Call {
        std::mutex mutex;
        std::condition_variable done;
        bool finished = false;
    };
    auto call = std::make_shared<Call>();
    ++pendingCalls;
    auto run = [call, work = std::move(work)] {
        work();
        {
            const std::lock_guard lock(Shared().pendingMutex);
            --pendingCalls;
        }
        Shared().pendingDone.notify_all();
        {
            const std::lock_guard lock(call->mutex);
            call->finished = true;
        }
        call->done.notify_all();
    };
    try {
        std::thread(run).detach();
    } catch (const std::system_error &) {
        run(); // no thread to be had: wait without a bound rather than skip the work
        return true;
    }
    std::unique_lock lock(call->mutex);
    return call->done.wait_for(lock, bound, [&] { return call->finished; });
}

bool BoundedCallsPending()
{
    return pendingCalls.load() > 0;
}

bool WaitForBoundedCalls(std::chrono::milliseconds bound)
{
    std::unique_lock lock(Shared().pendingMutex);
    return Shared().pendingDone.wait_for(lock, bound, [] { return pendingCalls.load() == 0; });
}

JackClientOwner::JackClientOwner()
{
    const std::lock_guard lock(Shared().ownersMutex);
    Shared().owners.push_back(this);
}

JackClientOwner::~JackClientOwner()
{
    auto &owners = Shared().owners;
    const std::lock_guard lock(Shared().ownersMutex);
    owners.erase(std::remove(owners.begin(), owners.end(), this), owners.end());
}

void NoteJackServerLost()
{
    serverLost = true;
}

bool JackServerLost()
{
    return serverLost.load();
}

bool PrepareNewJackClient()
{
    PrepareSoundLibraries();
    if (serverLost.exchange(false)) {
        std::vector<JackClientOwner *> all;
        {
            const std::lock_guard lock(Shared().ownersMutex);
            all = Shared().owners;
        }
        for (JackClientOwner *owner : all)
            owner->DropClientsOfLostServer();
    }
    return !BoundedCallsPending();
}

JackClient OpenPassiveJackClient(const std::string &name, bool exactName, std::shared_ptr<void> keepAlive,
                                 bool *nameTaken)
{
    if (nameTaken != nullptr)
        *nameTaken = false;
    if (JackServerLost() || BoundedCallsPending())
        return nullptr;
    // Made on a thread of its own: a frozen server would hold the open forever.
    // What the open gives after the wait was given up is closed there.
    struct Open {
        std::mutex mutex;
        jack_client_t *client = nullptr;
        bool nameTaken = false;
        bool abandoned = false;
    };
    auto open = std::make_shared<Open>();
    const auto options = jack_options_t(JackNoStartServer | (exactName ? JackUseExactName : 0));
    const bool done = RunBounded([open, name, options] {
        int status = 0;
        jack_client_t *client = OpenJackClientWithOwnWaitPoint(name.c_str(), options, &status);
        if (client != nullptr)
            jack_on_shutdown(client, [](void *) { NoteJackServerLost(); }, nullptr);
        const std::lock_guard lock(open->mutex);
        if (open->abandoned) {
            if (client != nullptr)
                jack_client_close(client);
            return;
        }
        open->client = client;
        open->nameTaken = (status & JackNameNotUnique) != 0;
    });
    const std::lock_guard lock(open->mutex);
    if (!done) {
        open->abandoned = true;
        return nullptr;
    }
    if (nameTaken != nullptr)
        *nameTaken = open->nameTaken;
    if (open->client == nullptr)
        return nullptr;
    return JackClient(open->client, [keepAlive = std::move(keepAlive)](jack_client_t *client) mutable {
        RunBounded([client, keepAlive = std::move(keepAlive)]() mutable {
            jack_client_close(client);
            keepAlive.reset();
        });
    });
}

bool WaitForJackCycles(jack_client_t *client, int cycles, std::chrono::milliseconds bound)
{
    if (client == nullptr)
        return false;
    const jack_nframes_t period = jack_get_buffer_size(client);
    jack_nframes_t start = 0;
    jack_time_t startTime = 0, nextTime = 0;
    float periodTime = 0;
    if (period == 0 || jack_get_cycle_times(client, &start, &startTime, &nextTime, &periodTime) != 0)
        return false;
    const auto deadline = std::chrono::steady_clock::now() + bound;
    for (;;) {
        jack_nframes_t current = 0;
        if (jack_get_cycle_times(client, &current, &startTime, &nextTime, &periodTime) != 0 || JackServerLost())
            return false;
        if ((current - start) / period >= static_cast<jack_nframes_t>(cycles))
            return true;
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline)
            return false;
        // Sleep until the server has announced the next cycle to begin; a
        // server that is late is looked at again each millisecond.
        const jack_time_t jackNow = jack_get_time();
        std::chrono::microseconds wait(1000);
        if (nextTime > jackNow)
            wait = std::chrono::microseconds(nextTime - jackNow + 50);
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(wait, deadline - now));
    }
}

bool ClientWaitPointMapped(std::string_view maps, std::string_view client)
{
    // libjack names the wait point "jack_sem.<user>_<server>_<client>", with
    // the client's slashes made underscores; a removed one is "(deleted)".
    std::string ending = "_" + std::string(client);
    std::replace(ending.begin(), ending.end(), '/', '_');
    std::replace(ending.begin(), ending.end(), '\\', '_');
    bool anyWaitPoint = false;
    while (!maps.empty()) {
        const std::size_t end = std::min(maps.find('\n'), maps.size());
        const std::string_view line = maps.substr(0, end);
        maps.remove_prefix(std::min(end + 1, maps.size()));
        if (line.find("/jack_sem.") == std::string_view::npos)
            continue;
        anyWaitPoint = true;
        if (line.size() >= ending.size() && line.substr(line.size() - ending.size()) == ending)
            return true;
    }
    // A libjack that waits some other way maps no such points: nothing to say.
    return !anyWaitPoint;
}

bool ClientWaitPointMapped(jack_client_t *client)
{
    std::ifstream file("/proc/self/maps");
    if (!file)
        return true;
    std::ostringstream maps;
    maps << file.rdbuf();
    return ClientWaitPointMapped(maps.str(), jack_get_client_name(client));
}

bool WaitForOwnWaitPoint(jack_client_t *client, std::chrono::milliseconds bound)
{
    const auto deadline = std::chrono::steady_clock::now() + bound;
    while (!ClientWaitPointMapped(client)) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

jack_client_t *OpenJackClientWithOwnWaitPoint(const char *name, int options, int *status)
{
    jack_status_t opened{};
    jack_client_t *client = jack_client_open(name, jack_options_t(options), &opened);
    for (int attempt = 0; attempt < 3 && client != nullptr; ++attempt) {
        // Another client of this process that is still taking in that the
        // point's former owner went maps this client's own once it has.
        if (WaitForOwnWaitPoint(client, std::chrono::milliseconds(40)))
            break;
        // None will: the close takes the inherited point out of the table,
        // so that the next open maps the client's own.
        jack_client_close(client);
        client = jack_client_open(name, jack_options_t(options), &opened);
    }
    if (status != nullptr)
        *status = opened;
    return client;
}

} // namespace midi_out
