#include "common/SaveLeftovers.h"

#include "common/RegularFile.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <optional>

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace common {

namespace {

// Below the user's cache folder, for copies that a folder cannot take.
constexpr const char *kSpareFolderName = "midi-sonoret";
constexpr const char *kCopyLeftText = "Eine abgebrochene Speicherung hat ihre Daten in %s hinterlassen.";

std::function<void(const std::string &)> &CopyLeftSink()
{
    static std::function<void(const std::string &)> handler;
    return handler;
}

void TellCopyLeft(const std::string &path)
{
    std::string text(kCopyLeftText);
    text.replace(text.find("%s"), 2, path);
    if (const auto &handler = CopyLeftSink())
        handler(text);
    else
        std::fprintf(stderr, "%s\n", text.c_str());
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

} // namespace

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

void SetCopyLeftHandler(std::function<void(const std::string &text)> handler)
{
    CopyLeftSink() = std::move(handler);
}

} // namespace common
