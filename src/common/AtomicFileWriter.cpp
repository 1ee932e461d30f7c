#include "common/AtomicFileWriter.h"

#include "common/FileErrors.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <optional>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace common {

namespace {

constexpr std::size_t kBufferSize = 1 << 16;
// As many links as the system itself follows before it calls it a loop.
constexpr int kMaxLinks = 40;

std::string FolderOf(const std::string &path)
{
    const auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

std::string BaseNameOf(const std::string &path)
{
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Where a name whose file does not exist leads: itself, or, for a dangling
// symbolic link, the missing file at the end of its chain of links, so that
// saving creates that file and keeps the link. Empty for a loop of links.
std::optional<std::string> WhereToCreate(const std::string &path)
{
    std::string current = path;
    for (int hops = 0; hops <= kMaxLinks; ++hops) {
        struct stat info {};
        if (::lstat(current.c_str(), &info) != 0 || !S_ISLNK(info.st_mode))
            return current;
        std::string target(static_cast<std::size_t>(PATH_MAX), '\0');
        const ssize_t length = ::readlink(current.c_str(), target.data(), target.size());
        if (length < 0 || static_cast<std::size_t>(length) >= target.size())
            return current; // creating it fails and is reported then
        target.resize(static_cast<std::size_t>(length));
        current = target.front() == '/' ? target : FolderOf(current) + "/" + target;
    }
    return std::nullopt;
}

// The file a name finally means when it exists.
std::string Resolved(const std::string &path)
{
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved) != nullptr)
        return resolved;
    return path;
}

// The unfinished files of all writers, in a table a signal handler can read:
// fixed slots, lock-free state, no allocation.
struct PendingFile {
    static constexpr int kFree = 0;
    static constexpr int kClaimed = 1;
    static constexpr int kReady = 2;
    std::atomic<int> state{kFree};
    char path[PATH_MAX] = {};
};
static_assert(std::atomic<int>::is_always_lock_free);

std::array<PendingFile, 16> pendingFiles;

int RegisterPending(const std::string &path)
{
    if (path.size() >= PATH_MAX)
        return -1;
    for (std::size_t i = 0; i < pendingFiles.size(); ++i) {
        int expected = PendingFile::kFree;
        if (pendingFiles[i].state.compare_exchange_strong(expected, PendingFile::kClaimed)) {
            std::memcpy(pendingFiles[i].path, path.c_str(), path.size() + 1);
            pendingFiles[i].state.store(PendingFile::kReady, std::memory_order_release);
            return static_cast<int>(i);
        }
    }
    return -1; // more writers at once than slots: that one is not removed on a signal
}

void UnregisterPending(int slot)
{
    if (slot >= 0)
        pendingFiles[static_cast<std::size_t>(slot)].state.store(PendingFile::kFree);
}

// Creates the new file beside finalPath under a name of its own and enters
// it in the table; no signal comes between the two.
int OpenTempBeside(const std::string &finalPath, std::string &tempPath, int &slot)
{
    static std::atomic<unsigned> counter{0};
    const std::string stem = FolderOf(finalPath) + "/." + BaseNameOf(finalPath) + ".tmp-"
                             + std::to_string(::getpid()) + "-";
    sigset_t all {};
    sigset_t previous {};
    ::sigfillset(&all);
    for (int attempt = 0; attempt < 100; ++attempt) {
        tempPath = stem + std::to_string(counter++);
        ::pthread_sigmask(SIG_BLOCK, &all, &previous);
        const int fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        const int error = errno;
        if (fd >= 0)
            slot = RegisterPending(tempPath);
        ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
        if (fd >= 0 || error != EEXIST) {
            errno = error;
            return fd;
        }
    }
    return -1;
}

void OnStopSignal(int signalNumber)
{
    const int savedErrno = errno;
    AtomicFileWriter::RemoveUnfinishedFiles();
    // The default action ends the process as soon as the handler returns.
    ::signal(signalNumber, SIG_DFL);
    ::raise(signalNumber);
    errno = savedErrno;
}

} // namespace

AtomicFileWriter::AtomicFileWriter(const std::string &fileName)
    : target_(fileName), finalPath_(fileName)
{
    struct stat existing {};
    if (::stat(fileName.c_str(), &existing) != 0) {
        if (errno != ENOENT)
            throw EFCreateError(fileName); // a loop of links, a folder without access
        const auto where = WhereToCreate(fileName);
        if (!where)
            throw EFCreateError(fileName);
        finalPath_ = *where;
        fd_ = OpenTempBeside(finalPath_, tempPath_, pendingSlot_);
        if (fd_ < 0) {
            tempPath_.clear();
            throw EFCreateError(fileName);
        }
        buffer_.reserve(kBufferSize);
        return;
    }

    if (S_ISDIR(existing.st_mode))
        throw EFCreateError(fileName);
    if (!S_ISREG(existing.st_mode)) {
        mode_ = Mode::Direct;
        fd_ = ::open(fileName.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
        if (fd_ < 0)
            throw EFCreateError(fileName);
        buffer_.reserve(kBufferSize);
        return;
    }

    finalPath_ = Resolved(fileName);
    // Opening it for writing tells whether the file may be written as it
    // stands; it is kept open for writing in place.
    fd_ = ::open(finalPath_.c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0)
        throw EFCreateError(fileName);

    // Replacing a file with other names would part it from them.
    if (existing.st_nlink > 1) {
        mode_ = Mode::InPlace;
        return;
    }
    const int probe = fd_;
    fd_ = OpenTempBeside(finalPath_, tempPath_, pendingSlot_);
    if (fd_ < 0) {
        // A folder that takes no new files (or no room for another one).
        tempPath_.clear();
        fd_ = probe;
        mode_ = Mode::InPlace;
        return;
    }
    ::close(probe);
    buffer_.reserve(kBufferSize);

    // The new file keeps the owner (where allowed) and the permissions of
    // the one it replaces.
    if (::fchown(fd_, existing.st_uid, existing.st_gid) != 0) {
        // Only the superuser may give a file away; the file stays the writer's.
    }
    if (::fchmod(fd_, existing.st_mode & 07777) != 0) {
        Discard();
        throw EFCreateError(fileName);
    }
}

AtomicFileWriter::~AtomicFileWriter()
{
    if (!committed_)
        Discard();
}

void AtomicFileWriter::Discard() noexcept
{
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!tempPath_.empty()) {
        ::unlink(tempPath_.c_str());
        tempPath_.clear();
    }
    UnregisterPending(pendingSlot_);
    pendingSlot_ = -1;
}

void AtomicFileWriter::Write(const void *data, std::size_t count)
{
    if (fd_ < 0)
        throw EWriteError();
    const auto *bytes = static_cast<const std::uint8_t *>(data);
    if (mode_ == Mode::InPlace) {
        const std::uint64_t end = position_ + count;
        if (end > buffer_.size())
            buffer_.resize(static_cast<std::size_t>(end));
        std::copy(bytes, bytes + count, buffer_.begin() + static_cast<std::ptrdiff_t>(position_));
        position_ = end;
        size_ = std::max(size_, end);
        return;
    }
    if (buffer_.size() + count > kBufferSize) {
        Flush();
        if (count >= kBufferSize) {
            WriteAll(bytes, count);
            position_ += count;
            size_ = std::max(size_, position_);
            return;
        }
    }
    buffer_.insert(buffer_.end(), bytes, bytes + count);
    size_ = std::max<std::uint64_t>(size_, position_ + buffer_.size());
}

void AtomicFileWriter::SeekTo(std::uint64_t offset)
{
    if (fd_ < 0)
        throw EWriteError();
    if (mode_ == Mode::InPlace) {
        position_ = offset;
        return;
    }
    Flush();
    if (::lseek(fd_, static_cast<off_t>(offset), SEEK_SET) < 0)
        throw EWriteError();
    position_ = offset;
}

void AtomicFileWriter::Flush()
{
    if (buffer_.empty())
        return;
    WriteAll(buffer_.data(), buffer_.size());
    position_ += buffer_.size();
    buffer_.clear();
}

void AtomicFileWriter::WriteAll(const std::uint8_t *data, std::size_t count)
{
    while (count > 0) {
        const ssize_t written = ::write(fd_, data, count);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            throw EWriteError();
        }
        if (written == 0)
            throw EWriteError();
        data += written;
        count -= static_cast<std::size_t>(written);
    }
}

void AtomicFileWriter::CommitInPlace()
{
    // A seek past the end leaves a gap of zeros, as it does in a file.
    if (buffer_.size() < size_)
        buffer_.resize(static_cast<std::size_t>(size_));
    if (::ftruncate(fd_, 0) != 0 || ::lseek(fd_, 0, SEEK_SET) != 0)
        throw EWriteError();
    WriteAll(buffer_.data(), buffer_.size());
    if (::fsync(fd_) != 0)
        throw EWriteError();
}

void AtomicFileWriter::Commit()
{
    if (fd_ < 0 || committed_)
        throw EWriteError();
    if (mode_ == Mode::InPlace)
        CommitInPlace();
    else
        Flush();
    if (mode_ == Mode::Replace && ::fsync(fd_) != 0)
        throw EWriteError();
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0)
        throw EWriteError();
    if (mode_ == Mode::Replace) {
        if (::rename(tempPath_.c_str(), finalPath_.c_str()) != 0)
            throw EFCreateError(target_);
        tempPath_.clear();
        UnregisterPending(pendingSlot_);
        pendingSlot_ = -1;
    }
    committed_ = true;
}

void AtomicFileWriter::RemoveUnfinishedFiles() noexcept
{
    for (auto &pending : pendingFiles) {
        if (pending.state.load(std::memory_order_acquire) == PendingFile::kReady)
            ::unlink(pending.path);
    }
}

void AtomicFileWriter::RemoveUnfinishedFilesOnStopSignals()
{
    for (const int signalNumber : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction current {};
        if (::sigaction(signalNumber, nullptr, &current) != 0 || current.sa_handler == SIG_IGN)
            continue;
        struct sigaction handler {};
        handler.sa_handler = OnStopSignal;
        ::sigemptyset(&handler.sa_mask);
        ::sigaction(signalNumber, &handler, nullptr);
    }
}

} // namespace common
