#include "common/StopSignals.h"

#include "common/PendingFiles.h"

#include <atomic>
#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <unistd.h>

namespace common {

namespace {

std::atomic<int> stopWriteEnd{-1};
std::atomic<bool> stopSeen{false};
static_assert(std::atomic<int>::is_always_lock_free && std::atomic<bool>::is_always_lock_free);

void OnCaughtStopSignal(int signalNumber)
{
    const int savedErrno = errno;
    const int pipe = stopWriteEnd.load();
    if (pipe >= 0 && !stopSeen.exchange(true)) {
        const char number = static_cast<char>(signalNumber);
        [[maybe_unused]] const ssize_t written = ::write(pipe, &number, 1);
    } else {
        RemovePendingFiles();
        ::signal(signalNumber, SIG_DFL);
        ::raise(signalNumber);
    }
    errno = savedErrno;
}

} // namespace

int CatchStopSignals()
{
    int ends[2];
    const bool piped = ::pipe2(ends, O_CLOEXEC | O_NONBLOCK) == 0;
    if (piped)
        stopWriteEnd = ends[1];
    HandleStopSignals(OnCaughtStopSignal, SA_RESTART);
    return piped ? ends[0] : -1;
}

} // namespace common
