#pragma once
// What every JACK client of this program needs:
// - a bound on each call that waits for the server, so that a frozen server
//   cannot freeze the window: the call goes on alone on a thread of its own;
// - the clients of a server that has gone closed before libjack makes another
//   client (it tears down the state they share, and closing them later
//   crashes);
// - waiting for the server's process cycles without a client in its graph;
// - a new client whose cycles can be signalled (see ClientWaitPointMapped).

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

struct _jack_client;

namespace midi_out {

// How long the window's thread waits for the JACK server in one step; a
// server that has not answered by then counts as gone for the device. Under
// ThreadSanitizer every call takes several times as long, and the bound with
// it, so that a slow answer is not taken for a server that has gone.
#if defined(__SANITIZE_THREAD__)
inline constexpr std::chrono::milliseconds JackBound{2000};
#else
inline constexpr std::chrono::milliseconds JackBound{400};
#endif
// How long a thread of our own that the window does not wait for gives a
// slow call to the server before it counts the server as gone. On a cold
// machine (the first JACK client after boot) a call may take longer than the
// window's bound while the server is well.
inline constexpr std::chrono::milliseconds JackBackgroundBound = 5 * JackBound;

// Runs `work` on a thread of its own and waits for it at most `bound`. True
// when it finished in time; otherwise it goes on alone, so it must own
// everything it touches. `work` must not throw.
bool RunBounded(std::function<void()> work, std::chrono::milliseconds bound = JackBound);
// True while a call that outlived its bound still runs (the server is frozen,
// or a client of a dead server is still being closed).
bool BoundedCallsPending();
// Waits at most `bound` for those calls; true when none is left.
bool WaitForBoundedCalls(std::chrono::milliseconds bound);

// A JACK client of ours; closing it goes through RunBounded.
using JackClient = std::shared_ptr<_jack_client>;

// Drops every JACK client of its owner (on the window's thread).
class JackClientOwner {
public:
    JackClientOwner();
    virtual ~JackClientOwner();
    JackClientOwner(const JackClientOwner &) = delete;
    JackClientOwner &operator=(const JackClientOwner &) = delete;

    // The server has gone: close every client of it, do not block.
    virtual void DropClientsOfLostServer() = 0;
};

// Told by a client's shutdown callback (on JACK's thread) that the server has gone.
void NoteJackServerLost();
bool JackServerLost();
// Before a new JACK client is made: when the server has gone, every owner
// drops its clients first. False when no client may be made now (a call on
// the old clients still runs).
bool PrepareNewJackClient();

// Opens a client that is not activated (it costs the server nothing per
// cycle until its owner activates it) and that tells NoteJackServerLost when
// the server goes. Null when there is no server, it does not answer within
// JackBound, or the clients of a server that went are not all closed yet (see
// PrepareNewJackClient).
// `exactName`: the client gets `name` or nothing; `*nameTaken` then tells
// whether another client has it. `keepAlive` is released only once the
// client's close has ended: what its callbacks use lives that long.
JackClient OpenPassiveJackClient(const std::string &name, bool exactName = false,
                                 std::shared_ptr<void> keepAlive = {}, bool *nameTaken = nullptr);

// libjack keeps one table per process of the points where its clients'
// threads wait for their cycles, indexed by client number. When a client of
// that number (of any program) goes while another client of this process has
// not yet taken that in, a client opened now can inherit the old wait point:
// its thread then waits where the server never signals, and a synchronous
// server's cycles stop for everyone. Whether the maps of this process (as
// /proc/self/maps lists them) show `client`'s own wait point, the one the
// server signals; true when the maps cannot be read or show no wait point
// at all (a libjack that waits some other way).
bool ClientWaitPointMapped(std::string_view maps, std::string_view client);
bool ClientWaitPointMapped(_jack_client *client);
// Waits at most `bound` until ClientWaitPointMapped(client); false when not.
bool WaitForOwnWaitPoint(_jack_client *client, std::chrono::milliseconds bound);
// jack_client_open, opened again (the close drops the inherited wait point)
// while the client did not get its own; null when no open succeeds.
_jack_client *OpenJackClientWithOwnWaitPoint(const char *name, int options, int *status);

// Waits until the server has begun `cycles` more process cycles, sleeping
// until each cycle's announced start. False when the server did not get
// there within `bound` (frozen or gone).
bool WaitForJackCycles(_jack_client *client, int cycles, std::chrono::milliseconds bound = JackBound);

} // namespace midi_out
