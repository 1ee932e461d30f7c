#pragma once
// The cross-process lock of a settings file, held across read, change and
// replace, so that two programs writing the same settings file do not lose
// each other's changes. The lock is on a file of its own beside the settings
// file, since the settings file itself is replaced by every write; that file
// is removed again when the lock is let go, and a lock taken on a lock file
// already removed is taken anew. Where no lock file can be made (a folder
// that takes no new files, where the settings file is written in place) the
// settings file itself is locked. A holder keeps the lock for one read and
// replace, milliseconds; one that keeps it for seconds has stopped (a stopped
// or hung program), and the write is refused rather than the window waiting
// for it.

#include <chrono>
#include <string>

namespace common {

class SettingsLock {
public:
    static constexpr std::chrono::milliseconds WaitBound{2000};

    explicit SettingsLock(const std::string &settingsPath);
    ~SettingsLock();

    SettingsLock(const SettingsLock &) = delete;
    SettingsLock &operator=(const SettingsLock &) = delete;

    // Another holder kept the lock past the bound.
    bool TimedOut() const { return timedOut_; }

private:
    // False where the file system has no locks: the write goes on without.
    bool LockExclusive(int fd);
    void Close();

    int fd_ = -1;
    std::string lockPath_; // empty unless the lock file is ours to remove
    bool timedOut_ = false;
};

} // namespace common
