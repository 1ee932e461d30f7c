#include "common/AtomicFileWriter.h"

#include "common/FileErrors.h"
#include "common/RegularFile.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string_view>

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

namespace common {

namespace {

constexpr std::size_t kBufferSize = 1 << 16;
// As many links as the system itself follows before it calls it a loop.
constexpr int kMaxLinks = 40;

// The own files of a save are named ".NAME" + tag + "PID-N" beside NAME: an
// unfinished one, and a complete copy kept while the target is written over.
constexpr std::string_view kUnfinishedTag = ".tmp-";
constexpr std::string_view kCopyTag = ".kopie-";
// Room for the longer tag, a process id and a counter behind the name.
constexpr std::size_t kSuffixRoom = kCopyTag.size() + 10 + 1 + 10;
// Below the user's cache folder, for copies that a folder cannot take.
constexpr const char *kSpareFolderName = "midi-sonoret";
constexpr const char *kCopyLeftText = "Eine abgebrochene Speicherung hat ihre Daten in %s hinterlassen.";

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

AtomicFileWriter::NoticeHandler &NoticeSink()
{
    static AtomicFileWriter::NoticeHandler handler;
    return handler;
}

std::atomic<AtomicFileWriter::StepHook> stepHook{nullptr};

void Reached(AtomicFileWriter::Step step)
{
    if (const auto hook = stepHook.load())
        hook(step);
}

void TellCopyLeft(const std::string &path)
{
    std::string text(kCopyLeftText);
    text.replace(text.find("%s"), 2, path);
    if (const auto &handler = NoticeSink())
        handler(text);
    else
        std::fprintf(stderr, "%s\n", text.c_str());
}

// The unfinished files of all writers, in a table a signal handler can read:
// fixed slots, lock-free state, no allocation.
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

int RegisterPending(int folder, const std::string &name)
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

void UnregisterPending(int &slot)
{
    if (slot >= 0)
        pendingFiles[static_cast<std::size_t>(slot)].state.store(PendingFile::kFree);
    slot = -1;
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

bool OpenFolder(const std::string &path, int &fd)
{
    fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) // a folder that may be entered but not listed
        fd = ::open(path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    return fd >= 0;
}

void CloseFolder(int &fd)
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

// A save's own file: its tag and the process that made it. Read from the
// end, since the name in front may have been shortened or be any bytes.
struct SaveFileName {
    std::string_view tag;
    pid_t pid = 0;
};

std::optional<SaveFileName> ParseSaveFileName(std::string_view name)
{
    const auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    if (name.size() < 2 || name.front() != '.')
        return std::nullopt;
    const auto counterDash = name.rfind('-');
    if (counterDash == std::string_view::npos || counterDash + 1 == name.size()
        || !std::all_of(name.begin() + static_cast<std::ptrdiff_t>(counterDash) + 1, name.end(), isDigit))
        return std::nullopt;
    const auto front = name.substr(0, counterDash);
    const auto pidDash = front.rfind('-');
    if (pidDash == std::string_view::npos)
        return std::nullopt;
    const auto digits = front.substr(pidDash + 1);
    SaveFileName parsed;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), parsed.pid);
    if (digits.empty() || error != std::errc() || end != digits.data() + digits.size() || parsed.pid <= 0)
        return std::nullopt;
    const auto stem = front.substr(0, pidDash + 1);
    for (const auto tag : {kUnfinishedTag, kCopyTag}) {
        if (stem.size() > tag.size() && stem.ends_with(tag)) {
            parsed.tag = tag;
            return parsed;
        }
    }
    return std::nullopt;
}

// A process that has ended but not yet been waited for (a zombie) runs no
// more; one of another user counts as running.
bool Running(pid_t pid)
{
    if (::kill(pid, 0) != 0 && errno == ESRCH)
        return false;
    std::string stat;
    if (ReadRegularFile("/proc/" + std::to_string(pid) + "/stat", stat) != FileRead::Read)
        return true;
    const auto nameEnd = stat.rfind(')');
    return nameEnd == std::string::npos || stat.compare(nameEnd, 3, ") Z") != 0;
}

bool Older(const struct stat &info, const timespec &than)
{
    return info.st_mtim.tv_sec < than.tv_sec
           || (info.st_mtim.tv_sec == than.tv_sec && info.st_mtim.tv_nsec < than.tv_nsec);
}

// Renames without replacing anything of that name.
bool RenameNoReplace(int fromFolder, const std::string &from, int toFolder, const std::string &to)
{
    if (::renameat2(fromFolder, from.c_str(), toFolder, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    // A file system without the flag: look first, then rename.
    struct stat info {};
    if (::fstatat(toFolder, to.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 || errno != ENOENT)
        return false;
    return ::renameat(fromFolder, from.c_str(), toFolder, to.c_str()) == 0;
}

// A copy that a save cut short left: given a visible name (its own without
// the leading dot), so that the user finds it and is told only once.
void KeepCopy(int folder, const std::string &folderPath, const std::string &name)
{
    const std::string visible = name.substr(1);
    const bool shown = RenameNoReplace(folder, name, folder, visible);
    TellCopyLeft(folderPath + "/" + (shown ? visible : name));
}

// Removes the unfinished files of saves whose process is gone, and reports
// their complete copies; files of running processes, files made since
// `started` and everything named otherwise stay.
void SweepLeftovers(int folder, const std::string &folderPath, const timespec &started)
{
    const int listing = ::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (listing < 0)
        return;
    DIR *entries = ::fdopendir(listing);
    if (entries == nullptr) {
        ::close(listing);
        return;
    }
    while (const dirent *entry = ::readdir(entries)) {
        const std::string name = entry->d_name;
        const auto parsed = ParseSaveFileName(name);
        if (!parsed || parsed->pid == ::getpid())
            continue;
        if (Running(parsed->pid))
            continue;
        struct stat info {};
        if (::fstatat(listing, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(info.st_mode)
            || !Older(info, started))
            continue;
        if (parsed->tag == kUnfinishedTag)
            ::unlinkat(listing, name.c_str(), 0);
        else if (info.st_uid == ::geteuid())
            KeepCopy(listing, folderPath, name);
    }
    ::closedir(entries);
}

// Where the new content goes when the target's folder takes no new file:
// the user's cache folder, else the folder for temporary files.
std::vector<std::string> SpareFolders()
{
    std::vector<std::string> folders;
    if (const char *cache = std::getenv("XDG_CACHE_HOME"); cache && cache[0] == '/')
        folders.push_back(std::string(cache) + "/" + kSpareFolderName);
    if (const char *home = std::getenv("HOME"); home && home[0] == '/')
        folders.push_back(std::string(home) + "/.cache/" + kSpareFolderName);
    if (const passwd *user = ::getpwuid(::geteuid()); user && user->pw_dir && user->pw_dir[0] == '/')
        folders.push_back(std::string(user->pw_dir) + "/.cache/" + kSpareFolderName);
    const char *temporary = std::getenv("TMPDIR");
    folders.emplace_back(temporary && temporary[0] == '/' ? temporary : "/tmp");
    return folders;
}

// Copies left in the spare folders by an earlier run are reported at the
// first save of this one.
void SweepSpareFoldersOnce(const timespec &started)
{
    static std::atomic<bool> swept{false};
    if (swept.exchange(true))
        return;
    for (const auto &path : SpareFolders()) {
        int fd = -1;
        if (OpenFolder(path, fd))
            SweepLeftovers(fd, path, started);
        CloseFolder(fd);
    }
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
            pendingSlot_ = RegisterPending(folder.fd, name);
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
    UnregisterPending(pendingSlot_);
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
    UnregisterPending(pendingSlot_);
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
            UnregisterPending(pendingSlot_);
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

void AtomicFileWriter::RemoveUnfinishedFiles() noexcept
{
    for (auto &pending : pendingFiles) {
        if (pending.state.load(std::memory_order_acquire) == PendingFile::kReady)
            ::unlinkat(pending.folder, pending.name, 0);
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

void AtomicFileWriter::SetNoticeHandler(NoticeHandler handler)
{
    NoticeSink() = std::move(handler);
}

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
