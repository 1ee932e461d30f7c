#include "common/AtomicFileWriter.h"

#include "common/FileErrors.h"
#include "common/PendingFiles.h"
#include "common/SaveLeftovers.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string_view>

#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
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

std::atomic<AtomicFileWriter::StepHook> stepHook{nullptr};

void Reached(AtomicFileWriter::Step step)
{
    if (const auto hook = stepHook.load())
        hook(step);
}

bool MakeFolders(const std::string &path)
{
    for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        const std::string part = path.substr(0, slash);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST)
            return false;
        if (slash == std::string::npos)
            return true;
    }
}

} // namespace

AtomicFileWriter::AtomicFileWriter(const std::string &fileName)
    : target_(fileName), finalPath_(fileName)
{
    timespec started {};
    ::clock_gettime(CLOCK_REALTIME, &started);

    struct stat existing {};
    const bool exists = ::stat(fileName.c_str(), &existing) == 0;
    if (!exists) {
        if (errno != ENOENT)
            throw EFCreateError(fileName); // a loop of links, a folder without access
        const auto where = WhereToCreate(fileName);
        if (!where)
            throw EFCreateError(fileName);
        finalPath_ = *where;
    } else if (S_ISCHR(existing.st_mode)) {
        OpenDevice(fileName);
        return;
    } else if (!S_ISREG(existing.st_mode)) {
        throw EFCreateError(fileName); // a folder, or a pipe that would wait for a reader
    } else {
        finalPath_ = Resolved(fileName);
        // Opening it for writing tells whether the file may be written as it
        // stands; it is kept open for writing over it.
        targetFd_ = ::open(finalPath_.c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        struct stat opened {};
        if (targetFd_ < 0 || ::fstat(targetFd_, &opened) != 0 || !S_ISREG(opened.st_mode)) {
            Discard();
            throw EFCreateError(fileName);
        }
        // Replacing a file with other names would part it from them.
        overTarget_ = opened.st_nlink > 1;
    }

    finalName_ = BaseNameOf(finalPath_);
    folder_.path = FolderOf(finalPath_);
    if (OpenFolder(folder_.path, folder_.fd))
        SweepLeftovers(folder_.fd, folder_.path, started);
    SweepSpareFoldersOnce(started);

    const mode_t mode = exists ? (existing.st_mode & 07777) : 0666;
    if (folder_.fd >= 0 && CreateBeside(folder_, overTarget_ ? 0600 : mode)) {
        tempFolder_ = &folder_;
    } else if (exists) {
        // A folder that takes no new files (or has no room for one): the new
        // content waits in a spare folder, and the file is written over.
        overTarget_ = true;
        for (const auto &path : SpareFolders()) {
            spare_.path = path;
            if (!MakeFolders(path) || !OpenFolder(path, spare_.fd))
                continue;
            SweepLeftovers(spare_.fd, path, started);
            if (CreateBeside(spare_, 0600)) {
                tempFolder_ = &spare_;
                break;
            }
            CloseFolder(spare_.fd);
        }
    }
    if (tempFolder_ == nullptr) {
        Discard();
        throw EFCreateError(fileName);
    }
    buffer_.reserve(kBufferSize);

    // A replacement keeps the owner (where allowed) and the permissions of
    // the file it replaces.
    if (exists && !overTarget_) {
        if (::fchown(fd_, existing.st_uid, existing.st_gid) != 0) {
            // Only the superuser may give a file away; the file stays the writer's.
        }
        if (::fchmod(fd_, mode) != 0) {
            Discard();
            throw EFCreateError(fileName);
        }
    }
}

void AtomicFileWriter::OpenDevice(const std::string &fileName)
{
    direct_ = true;
    fd_ = ::open(fileName.c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    struct stat opened {};
    if (fd_ < 0 || ::fstat(fd_, &opened) != 0 || !S_ISCHR(opened.st_mode)) {
        Discard();
        throw EFCreateError(fileName);
    }
    buffer_.reserve(kBufferSize);
}

// Creates the new content's file in the folder under a name of its own,
// shortened where the target's name leaves no room, and enters it in the
// table; no signal comes between the two.
bool AtomicFileWriter::CreateBeside(const Folder &folder, mode_t mode)
{
    static std::atomic<unsigned> counter{0};
    const long nameMax = ::fpathconf(folder.fd, _PC_NAME_MAX);
    const std::size_t room = (nameMax > 0 ? static_cast<std::size_t>(nameMax) : NAME_MAX) - 1 - kSuffixRoom;
    const std::string stem = "." + finalName_.substr(0, room) + std::string(kUnfinishedTag)
                             + std::to_string(::getpid()) + "-";
    sigset_t all {};
    sigset_t previous {};
    ::sigfillset(&all);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string name = stem + std::to_string(counter++);
        ::pthread_sigmask(SIG_BLOCK, &all, &previous);
        const int fd = ::openat(folder.fd, name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        const int error = errno;
        if (fd >= 0)
            pendingSlot_ = RegisterPendingFile(folder.fd, name);
        ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
        if (fd >= 0) {
            fd_ = fd;
            tempName_ = name;
            return true;
        }
        if (error != EEXIST)
            return false;
    }
    return false;
}

AtomicFileWriter::~AtomicFileWriter()
{
    if (!committed_)
        Discard();
}

void AtomicFileWriter::Discard() noexcept
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    if (targetFd_ >= 0)
        ::close(targetFd_);
    targetFd_ = -1;
    if (!tempName_.empty() && tempFolder_ != nullptr)
        ::unlinkat(tempFolder_->fd, tempName_.c_str(), 0);
    tempName_.clear();
    UnregisterPendingFile(pendingSlot_);
    CloseFolder(folder_.fd);
    CloseFolder(spare_.fd);
}

void AtomicFileWriter::Write(const void *data, std::size_t count)
{
    if (fd_ < 0)
        throw EWriteError();
    const auto *bytes = static_cast<const std::uint8_t *>(data);
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

// The new content, complete and synced in its own file, is written over the
// target. That file is first renamed to a copy's name that no stop signal
// and no later save removes, so that whatever cuts the write short, the new
// content is still there; it goes once the target holds all of it.
void AtomicFileWriter::WriteOverTarget()
{
    const std::string copyName = tempName_.substr(0, tempName_.rfind(kUnfinishedTag)) + std::string(kCopyTag)
                                 + tempName_.substr(tempName_.rfind(kUnfinishedTag) + kUnfinishedTag.size());
    UnregisterPendingFile(pendingSlot_);
    if (!RenameNoReplace(tempFolder_->fd, tempName_, tempFolder_->fd, copyName))
        throw EFCreateError(target_);
    tempName_ = copyName;
    Reached(Step::CopyKept);

    try {
        std::vector<std::uint8_t> block(kBufferSize);
        const std::uint64_t half = size_ / 2;
        bool halfReported = false;
        for (std::uint64_t offset = 0; offset < size_;) {
            if (!halfReported && offset >= half && size_ > 0) {
                Reached(Step::TargetHalfWritten);
                halfReported = true;
            }
            const auto wanted = static_cast<std::size_t>(std::min<std::uint64_t>(block.size(), size_ - offset));
            // Up to the half at most, so that the hook sees exactly half.
            const auto step = offset < half ? std::min<std::size_t>(wanted, static_cast<std::size_t>(half - offset))
                                            : wanted;
            const ssize_t got = ::pread(fd_, block.data(), step, static_cast<off_t>(offset));
            if (got <= 0) {
                if (got < 0 && errno == EINTR)
                    continue;
                throw EWriteError();
            }
            for (ssize_t done = 0; done < got;) {
                const ssize_t put = ::pwrite(targetFd_, block.data() + done, static_cast<std::size_t>(got - done),
                                             static_cast<off_t>(offset) + done);
                if (put < 0 && errno == EINTR)
                    continue;
                if (put <= 0)
                    throw EWriteError();
                done += put;
            }
            offset += static_cast<std::uint64_t>(got);
        }
        if (::ftruncate(targetFd_, static_cast<off_t>(size_)) != 0 || ::fsync(targetFd_) != 0)
            throw EWriteError();
    } catch (...) {
        // The target may hold part of the new content: the copy stays.
        KeepCopy(tempFolder_->fd, tempFolder_->path, tempName_);
        tempName_.clear();
        throw;
    }
    ::unlinkat(tempFolder_->fd, tempName_.c_str(), 0);
    tempName_.clear();
}

void AtomicFileWriter::Commit()
{
    if (fd_ < 0 || committed_)
        throw EWriteError();
    Flush();
    if (!direct_) {
        if (::fsync(fd_) != 0)
            throw EWriteError();
        Reached(Step::Synced);
        bool replaced = false;
        if (!overTarget_) {
            replaced = ::renameat(tempFolder_->fd, tempName_.c_str(), folder_.fd, finalName_.c_str()) == 0;
            // A file mounted onto its name cannot be replaced, only written over.
            if (!replaced && ((errno != EBUSY && errno != EXDEV) || targetFd_ < 0))
                throw EFCreateError(target_);
        }
        if (replaced) {
            tempName_.clear();
            UnregisterPendingFile(pendingSlot_);
        } else {
            WriteOverTarget();
        }
    }
    committed_ = true;
    const int fd = fd_;
    fd_ = -1;
    const bool closed = ::close(fd) == 0;
    Discard();
    if (!closed)
        throw EWriteError();
}

void AtomicFileWriter::RemoveUnfinishedFiles() noexcept { RemovePendingFiles(); }

void AtomicFileWriter::RemoveUnfinishedFilesOnStopSignals() { RemovePendingFilesOnStopSignals(); }

void AtomicFileWriter::SetNoticeHandler(NoticeHandler handler) { SetCopyLeftHandler(std::move(handler)); }

void AtomicFileWriter::SetStepHook(StepHook hook)
{
    stepHook.store(hook);
}

void WriteWholeFile(const std::string &fileName, std::span<const std::uint8_t> bytes)
{
    AtomicFileWriter file(fileName);
    file.Write(bytes.data(), bytes.size());
    file.Commit();
}

} // namespace common
