#include "common/SettingsLock.h"

#include <cerrno>
#include <filesystem>
#include <thread>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace common {

SettingsLock::SettingsLock(const std::string &settingsPath)
{
    const std::filesystem::path path(settingsPath);
    const auto lockPath = path.parent_path() / ("." + path.filename().string() + ".lock");
    for (;;) {
        fd_ = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd_ < 0)
            break;
        if (!LockExclusive(fd_)) {
            Close();
            return;
        }
        if (timedOut_)
            return;
        struct stat held {};
        struct stat named {};
        if (::fstat(fd_, &held) == 0 && ::stat(lockPath.c_str(), &named) == 0
            && held.st_dev == named.st_dev && held.st_ino == named.st_ino) {
            lockPath_ = lockPath.string();
            return;
        }
        Close(); // removed by its holder meanwhile
    }
    fd_ = ::open(settingsPath.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd_ >= 0 && !LockExclusive(fd_))
        Close();
}

SettingsLock::~SettingsLock()
{
    if (!lockPath_.empty())
        ::unlink(lockPath_.c_str());
    Close();
}

bool SettingsLock::LockExclusive(int fd)
{
    const auto deadline = std::chrono::steady_clock::now() + WaitBound;
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK && errno != EINTR)
            return false;
        if (std::chrono::steady_clock::now() >= deadline) {
            timedOut_ = true;
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

void SettingsLock::Close()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

} // namespace common
