#include "common/PendingFiles.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace common {

namespace {

struct PendingFile {
    static constexpr int kFree = 0;
    static constexpr int kClaimed = 1;
    static constexpr int kReady = 2;
    std::atomic<int> state{kFree};
    int folder = -1;
    char name[NAME_MAX + 1] = {};
};
static_assert(std::atomic<int>::is_always_lock_free);

std::array<PendingFile, 16> pendingFiles;

void OnStopSignal(int signalNumber)
{
    const int savedErrno = errno;
    RemovePendingFiles();
    // The default action ends the process as soon as the handler returns.
    ::signal(signalNumber, SIG_DFL);
    ::raise(signalNumber);
    errno = savedErrno;
}

} // namespace

int RegisterPendingFile(int folder, const std::string &name)
{
    if (name.size() > NAME_MAX)
        return -1;
    for (std::size_t i = 0; i < pendingFiles.size(); ++i) {
        int expected = PendingFile::kFree;
        if (pendingFiles[i].state.compare_exchange_strong(expected, PendingFile::kClaimed)) {
            pendingFiles[i].folder = folder;
            std::memcpy(pendingFiles[i].name, name.c_str(), name.size() + 1);
            pendingFiles[i].state.store(PendingFile::kReady, std::memory_order_release);
            return static_cast<int>(i);
        }
    }
    return -1; // more writers at once than slots: that one is not removed on a signal
}

void UnregisterPendingFile(int &slot)
{
    if (slot >= 0)
        pendingFiles[static_cast<std::size_t>(slot)].state.store(PendingFile::kFree);
    slot = -1;
}

void RemovePendingFiles() noexcept
{
    for (auto &pending : pendingFiles) {
        if (pending.state.load(std::memory_order_acquire) == PendingFile::kReady)
            ::unlinkat(pending.folder, pending.name, 0);
    }
}

void HandleStopSignals(void (*handler)(int), int flags)
{
    for (const int signalNumber : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction current {};
        if (::sigaction(signalNumber, nullptr, &current) != 0 || current.sa_handler == SIG_IGN)
            continue;
        struct sigaction action {};
        action.sa_handler = handler;
        action.sa_flags = flags;
        ::sigemptyset(&action.sa_mask);
        ::sigaction(signalNumber, &action, nullptr);
    }
}

void RemovePendingFilesOnStopSignals() { HandleStopSignals(OnStopSignal); }

} // namespace common
