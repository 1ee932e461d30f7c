#include "recorder/TakeJournal.h"

#include "common/SerialWorker.h"
#include "recorder/RecordingStream.h"
#include "recorder/Transport.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

namespace recorder {

namespace {

constexpr char kPrefix[] = "take-";
constexpr char kSuffix[] = ".vsq";
constexpr auto kSyncInterval = std::chrono::seconds(1);
// How often the writer takes what the take has gained: what a kill can take
// from a journal is what was played in the last few milliseconds.
constexpr auto kWritePeriod = std::chrono::milliseconds(5);
constexpr int kTickMs = 50;

TakeJournal::WriteHook &JournalHook()
{
    static TakeJournal::WriteHook hook;
    return hook;
}

// This program's mark in its journals' names: its process number and the
// time it started (a process number alone comes back after a reboot).
const std::string &OwnMark()
{
    static const std::string mark = [] {
        const auto started = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::system_clock::now().time_since_epoch());
        return std::to_string(::getpid()) + "-" + std::to_string(started.count());
    }();
    return mark;
}

// The process number in a journal's name "take-<pid>-<start>-<n>.vsq".
std::optional<pid_t> OwnerOf(const std::string &name)
{
    if (!name.starts_with(kPrefix) || !name.ends_with(kSuffix))
        return std::nullopt;
    const std::size_t digits = name.find('-', sizeof kPrefix - 1);
    if (digits == std::string::npos)
        return std::nullopt;
    char *end = nullptr;
    const long pid = std::strtol(name.c_str() + sizeof kPrefix - 1, &end, 10);
    if (end != name.c_str() + digits || pid <= 0)
        return std::nullopt;
    return static_cast<pid_t>(pid);
}

bool WriteAll(int fd, const std::uint8_t *bytes, std::size_t count)
{
    while (count > 0) {
        const ssize_t written = ::write(fd, bytes, count);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        bytes += written;
        count -= static_cast<std::size_t>(written);
    }
    return true;
}

void MakeFolder(const std::string &folder)
{
    // Each level, as mkdir -p: the state folder itself may not exist yet.
    for (std::size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
        ::mkdir(folder.substr(0, slash).c_str(), 0700);
        if (slash == std::string::npos)
            break;
    }
}

} // namespace

std::string JournalFolder()
{
    // Relative values are to be ignored, as the base directory rules say.
    if (const char *state = std::getenv("XDG_STATE_HOME"); state && state[0] == '/')
        return std::string(state) + "/midi-sonoret";
    if (const char *home = std::getenv("HOME"); home && home[0] == '/')
        return std::string(home) + "/.local/state/midi-sonoret";
    if (const passwd *user = ::getpwuid(::geteuid()); user && user->pw_dir && user->pw_dir[0] == '/')
        return std::string(user->pw_dir) + "/.local/state/midi-sonoret";
    return "/tmp/midi-sonoret-state-" + std::to_string(::geteuid());
}

JournalLock::~JournalLock()
{
    if (fd_ >= 0)
        ::close(fd_);
}

JournalLock &JournalLock::operator=(JournalLock &&other) noexcept
{
    if (this != &other) {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

bool RemoveJournal(const std::string &path)
{
    return ::unlink(path.c_str()) == 0 || errno == ENOENT;
}

LeftJournals FindLeftJournals(const std::string &folder)
{
    LeftJournals found;
    DIR *entries = ::opendir(folder.c_str());
    if (entries == nullptr)
        return found;
    std::vector<std::string> names;
    while (const dirent *entry = ::readdir(entries))
        names.emplace_back(entry->d_name);
    ::closedir(entries);

    for (const std::string &name : names) {
        const std::optional<pid_t> owner = OwnerOf(name);
        if (!owner || name.starts_with(kPrefix + OwnMark() + "-"))
            continue;
        const std::string path = folder + "/" + name;
        JournalLock lock(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
        struct stat info {};
        if (!lock.Held() || ::fstat(lock.Fd(), &info) != 0 || !S_ISREG(info.st_mode))
            continue;
        // The program that writes it holds the lock as long as it runs; where
        // the file system keeps no locks, a living owner is asked after.
        if (::flock(lock.Fd(), LOCK_EX | LOCK_NB) != 0) {
            if (errno == EWOULDBLOCK || ::kill(*owner, 0) == 0 || errno != ESRCH)
                continue;
        }
        std::vector<std::uint8_t> bytes;
        try {
            bytes = RecordingStream::ReadWholeFile(path);
        } catch (const std::exception &) {
            continue; // unreadable now: offered at a later start
        }
        bytes.resize(bytes.size() - bytes.size() % RecordedEvent::kSize);
        if (bytes.empty()) {
            ::unlink(path.c_str());
            continue;
        }
        if (!IsValidRecording(bytes)) {
            // Never deleted unseen: kept aside for whoever wants to look.
            const std::string aside = path + ".damaged";
            if (::rename(path.c_str(), aside.c_str()) == 0)
                found.damaged.push_back(aside);
            continue;
        }
        const auto last = RecordedEvent::FromBytes(
            std::span<const std::uint8_t, RecordedEvent::kSize>(bytes.end() - RecordedEvent::kSize, bytes.end()));
        // Ended by a kill rather than by a stop, the take is closed as a stop
        // closes it, so that it never plays or exports a hanging note. The
        // journal itself stays as it was left.
        RecordingStream closed;
        closed.Write(bytes.data(), bytes.size());
        CloseTake(closed, last.tick);
        bytes = closed.Bytes();
        LeftTake take;
        take.path = path;
        take.written = std::chrono::system_clock::time_point(
            std::chrono::duration_cast<std::chrono::system_clock::duration>(
                std::chrono::seconds(info.st_mtim.tv_sec) + std::chrono::nanoseconds(info.st_mtim.tv_nsec)));
        take.length = std::chrono::milliseconds(std::int64_t(last.tick) * kTickMs);
        take.bytes = std::move(bytes);
        take.lock = std::move(lock);
        found.takes.push_back(std::move(take));
    }
    std::sort(found.takes.begin(), found.takes.end(),
              [](const LeftTake &a, const LeftTake &b) { return a.written > b.written; });
    return found;
}

// One journal file, shared by the window's thread, which hands bytes over,
// and the writer, which may outlive the journal.
struct TakeJournal::File {
    std::string folder;
    std::string path;
    TakeJournal::Failed failed;

    std::mutex mutex;
    std::condition_variable more;
    std::vector<std::uint8_t> pending;
    bool sealed = false;
    std::atomic<bool> broken{false};
    // Bytes handed over (under the mutex) and bytes in the file.
    std::size_t handed = 0;
    std::atomic<std::size_t> written{0};
    // Holds the file open, and locked, as long as the program runs or the
    // take is kept.
    JournalLock lock;

    // The writer: runs on the worker's thread from the first record to the
    // seal, writing each batch at once.
    void Write()
    {
        MakeFolder(folder);
        if (!lock.Held()) {
            lock = JournalLock(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
            if (!lock.Held())
                return Break();
            ::flock(lock.Fd(), LOCK_EX | LOCK_NB); // where locks are kept
        }
        auto synced = std::chrono::steady_clock::now();
        bool unsynced = false;
        bool folderSynced = false;
        std::vector<std::uint8_t> batch;
        for (;;) {
            bool end;
            {
                // Woken by the seal only: a wake-up per record would cost the
                // window's thread a system call for each.
                std::unique_lock guard(mutex);
                more.wait_for(guard, kWritePeriod, [&] { return sealed; });
                batch.swap(pending);
                end = sealed;
            }
            if (!batch.empty()) {
                if ((JournalHook() && !JournalHook()(path)) || !WriteAll(lock.Fd(), batch.data(), batch.size()))
                    return Break();
                written += batch.size();
                batch.clear();
                unsynced = true;
            }
            if (unsynced && (end || std::chrono::steady_clock::now() - synced >= kSyncInterval)) {
                if (::fdatasync(lock.Fd()) != 0 && errno != EINVAL)
                    return Break();
                synced = std::chrono::steady_clock::now();
                unsynced = false;
                if (!folderSynced) {
                    // The file's name outlives a power cut too.
                    if (const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dir >= 0) {
                        ::fsync(dir);
                        ::close(dir);
                    }
                    folderSynced = true;
                }
            }
            if (end)
                return;
        }
    }

    // The take goes on in memory; the file keeps what it got, and the user
    // learns of it once.
    void Break()
    {
        broken = true;
        {
            const std::lock_guard guard(mutex);
            pending.clear();
            pending.shrink_to_fit();
        }
        if (failed)
            failed(JournalFault::NotWritten, path);
    }

    void Seal()
    {
        {
            const std::lock_guard guard(mutex);
            sealed = true;
        }
        more.notify_one();
    }
};

TakeJournal::TakeJournal(std::string folder, common::SerialWorker &worker, Failed failed)
    : folder_(std::move(folder)), worker_(worker), failed_(std::move(failed))
{
}

TakeJournal::~TakeJournal()
{
    if (file_)
        file_->Seal();
}

std::string TakeJournal::NewName()
{
    // Counted for the process: every journal of a program has a name of its own.
    static std::atomic<unsigned> takes{0};
    return folder_ + "/" + kPrefix + OwnMark() + "-" + std::to_string(++takes) + kSuffix;
}

void TakeJournal::Begin()
{
    Remove();
    journalling_ = true;
}

void TakeJournal::Follow(const RecordingStream &take)
{
    if (!journalling_)
        return;
    if (!file_) {
        file_ = std::make_shared<File>();
        file_->folder = folder_;
        file_->path = NewName();
        file_->failed = failed_;
        handed_ = 0;
        worker_.Hand([file = file_] { file->Write(); });
    }
    const std::vector<std::uint8_t> &bytes = take.Bytes();
    if (file_->broken || bytes.size() <= handed_) {
        handed_ = bytes.size();
        return;
    }
    {
        const std::lock_guard guard(file_->mutex);
        file_->pending.insert(file_->pending.end(), bytes.begin() + std::ptrdiff_t(handed_), bytes.end());
        file_->handed += bytes.size() - handed_;
    }
    handed_ = bytes.size();
}

void TakeJournal::Seal(const RecordingStream &take)
{
    Follow(take);
    journalling_ = false;
    if (file_)
        file_->Seal();
}

void TakeJournal::Remove()
{
    journalling_ = false;
    if (!file_)
        return;
    file_->Seal();
    // After the writer has ended: the worker runs one job after the other.
    worker_.Hand([file = std::move(file_)] {
        if (!RemoveJournal(file->path) && file->failed)
            file->failed(JournalFault::NotRemoved, file->path);
        file->lock = JournalLock();
    });
    file_.reset();
    handed_ = 0;
}

void TakeJournal::Adopt(LeftTake &&take)
{
    Remove();
    auto file = std::make_shared<File>();
    file->folder = folder_;
    file->path = NewName();
    file->failed = failed_;
    file->sealed = true;
    // Renamed to this program's name, so that no other program offers it
    // while this one keeps it; the lock goes with the open file.
    if (::rename(take.path.c_str(), file->path.c_str()) != 0)
        file->path = take.path;
    file->lock = std::move(take.lock);
    file_ = std::move(file);
    handed_ = take.bytes.size();
}

std::string TakeJournal::Path() const { return file_ ? file_->path : std::string(); }

bool TakeJournal::Settle(std::chrono::milliseconds bound)
{
    const auto end = std::chrono::steady_clock::now() + bound;
    if (file_) {
        // The writer runs until the seal: wait until every byte is written.
        for (;;) {
            std::size_t handed;
            {
                const std::lock_guard guard(file_->mutex);
                handed = file_->handed;
            }
            if (file_->written == handed || file_->broken)
                break;
            if (std::chrono::steady_clock::now() >= end)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        const std::lock_guard guard(file_->mutex);
        if (!file_->sealed)
            return true;
    }
    // Sealed or removed: the worker's jobs end.
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
    return worker_.Flush(std::max(left, std::chrono::milliseconds(0)));
}

void TakeJournal::SetWriteHook(WriteHook hook) { JournalHook() = std::move(hook); }

} // namespace recorder
