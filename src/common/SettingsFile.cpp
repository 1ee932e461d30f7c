#include "common/SettingsFile.h"

#include "common/AtomicFileWriter.h"

#include "common/IntegerConversion.h"
#include "common/RegularFile.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <algorithm>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string_view>
#include <system_error>
#include <thread>
#include <unordered_set>

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

namespace common {

// Named rather than anonymous: the file's cache, a member of SettingsFile,
// holds its types.
namespace ini {

namespace fs = std::filesystem;

// Blanks around names and values are not part of them; "\r" belongs to the
// line end of files edited on Windows.
constexpr std::string_view kBlanks = " \t\r";
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
// Folder below the user's configuration folder for installed executables.
constexpr const char *kConfigFolderName = "midi-sonoret";

std::string_view Trim(std::string_view text)
{
    const auto first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos)
        return {};
    const auto last = text.find_last_not_of(kBlanks);
    return text.substr(first, last - first + 1);
}

char AsciiLower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string AsciiLowerCase(std::string_view text)
{
    std::string lower(text);
    for (char &c : lower)
        c = AsciiLower(c);
    return lower;
}

bool equalsIgnoreCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (AsciiLower(a[i]) != AsciiLower(b[i]))
            return false;
    }
    return true;
}

std::optional<std::string_view> sectionNameOf(std::string_view line)
{
    // Most lines are none: tell by the first character that is no blank.
    const auto first = std::find_if(line.begin(), line.end(), [](char c) { return c != ' ' && c != '\t'; });
    if (first == line.end() || *first != '[')
        return std::nullopt;
    const auto text = Trim(line);
    const auto close = text.find(']');
    if (close == std::string_view::npos)
        return std::nullopt;
    return Trim(text.substr(1, close - 1));
}

struct KeyLine {
    std::string_view key;
    std::string_view value;
};

// A key=value line; comments, blank lines, section headers and lines without
// "=" are none. The value is everything behind the first "=", so it may
// contain "=" itself.
std::optional<KeyLine> keyLineOf(std::string_view line)
{
    const auto text = Trim(line);
    if (text.empty() || text.front() == ';' || text.front() == '[')
        return std::nullopt;
    const auto equals = text.find('=');
    if (equals == std::string_view::npos)
        return std::nullopt;
    const auto key = Trim(text.substr(0, equals));
    if (key.empty())
        return std::nullopt;
    return KeyLine{key, Trim(text.substr(equals + 1))};
}

// The file's lines as they stand, with the line-end style and byte order
// mark of the file so that a rewrite changes nothing but the edited lines.
class IniDocument {
public:
    // Line indices of one section: its header and the end of its body.
    struct Section {
        std::size_t header;
        std::size_t end;
    };

    static IniDocument Parse(std::string_view text)
    {
        IniDocument document;
        if (text.substr(0, kUtf8Bom.size()) == kUtf8Bom) {
            document.bom_ = true;
            text.remove_prefix(kUtf8Bom.size());
        }
        std::size_t start = 0;
        while (start < text.size()) {
            auto end = text.find('\n', start);
            if (end == std::string_view::npos)
                end = text.size();
            auto line = text.substr(start, end - start);
            if (!line.empty() && line.back() == '\r') {
                line.remove_suffix(1);
                if (document.lines_.empty())
                    document.newline_ = "\r\n";
            }
            document.lines_.emplace_back(line);
            start = end + 1;
        }
        document.Index();
        return document;
    }

    std::string Serialize() const
    {
        std::string text = bom_ ? std::string(kUtf8Bom) : std::string();
        for (const auto &line : lines_) {
            text += line;
            text += newline_;
        }
        return text;
    }

    std::optional<Section> FindSection(std::string_view name) const
    {
        for (std::size_t h = 0; h < headers_.size(); ++h) {
            if (equalsIgnoreCase(*sectionNameOf(lines_[headers_[h]]), name))
                return Section{headers_[h], h + 1 < headers_.size() ? headers_[h + 1] : lines_.size()};
        }
        return std::nullopt;
    }

    std::optional<std::size_t> FindKey(const Section &section, std::string_view key) const
    {
        for (std::size_t i = section.header + 1; i < section.end; ++i) {
            const auto line = keyLineOf(lines_[i]);
            if (line && equalsIgnoreCase(line->key, key))
                return i;
        }
        return std::nullopt;
    }

    std::optional<std::string> Value(std::string_view sectionName, std::string_view key) const
    {
        const auto section = FindSection(sectionName);
        if (!section)
            return std::nullopt;
        const auto index = FindKey(*section, key);
        if (!index)
            return std::nullopt;
        return std::string(keyLineOf(lines_[*index])->value);
    }

    // The key lines of a section in file order; a key that appears twice
    // counts once, with its first line, as it does for reading its value.
    // The keys seen are looked up in a set, so a long section is read in
    // linear time.
    std::vector<KeyLine> Keys(std::string_view sectionName) const
    {
        std::vector<KeyLine> keys;
        const auto section = FindSection(sectionName);
        if (!section)
            return keys;
        std::unordered_set<std::string> seen;
        for (std::size_t i = section->header + 1; i < section->end; ++i) {
            const auto line = keyLineOf(lines_[i]);
            if (line && seen.insert(AsciiLowerCase(line->key)).second)
                keys.push_back(*line);
        }
        return keys;
    }

    // False when the key already holds the value: the file stays as it is.
    bool Set(std::string_view sectionName, std::string_view key, std::string_view value)
    {
        const auto section = FindSection(sectionName);
        if (!section) {
            if (!lines_.empty() && !Trim(lines_.back()).empty())
                lines_.emplace_back();
            lines_.push_back("[" + std::string(sectionName) + "]");
            lines_.push_back(std::string(key) + "=" + std::string(value));
            Index();
            return true;
        }
        if (const auto index = FindKey(*section, key)) {
            const KeyLine stored = *keyLineOf(lines_[*index]);
            if (stored.value == Trim(value))
                return false;
            // Keep the key's spelling as it stands in the file.
            lines_[*index] = std::string(stored.key) + "=" + std::string(value);
            return true;
        }
        // Behind the section's last key, so that blank lines and comments
        // leading into the next section stay where they are.
        std::size_t insertAt = section->header + 1;
        for (std::size_t i = section->header + 1; i < section->end; ++i) {
            if (keyLineOf(lines_[i]))
                insertAt = i + 1;
        }
        lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(insertAt),
                      std::string(key) + "=" + std::string(value));
        Index();
        return true;
    }

    // Removes every section of that name with its lines and the blank lines
    // that separate it from the next; false when there was none.
    bool Erase(std::string_view sectionName)
    {
        bool erased = false;
        while (const auto section = FindSection(sectionName)) {
            lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(section->header),
                         lines_.begin() + static_cast<std::ptrdiff_t>(section->end));
            Index();
            erased = true;
        }
        return erased;
    }

    // True when any change touched the lines.
    bool Apply(PendingChanges changes)
    {
        bool changed = false;
        for (const auto &change : changes) {
            if (change.kind == SettingsChange::Kind::Write) {
                if (Set(Trim(change.section), Trim(change.key), change.value))
                    changed = true;
            } else if (Erase(Trim(change.section))) {
                changed = true;
            }
        }
        return changed;
    }

private:
    // The lines that are section headers, so that a look-up passes over the
    // sections rather than every line of a large file.
    void Index()
    {
        headers_.clear();
        for (std::size_t i = 0; i < lines_.size(); ++i)
            if (sectionNameOf(lines_[i]))
                headers_.push_back(i);
    }

    std::vector<std::string> lines_;
    std::vector<std::size_t> headers_;
    std::string newline_ = "\n";
    bool bom_ = false;
};

enum class ReadResult { Read, Missing, Failed };

// Only a regular file is read: a pipe or device of that name would make the
// read wait, and start-up with it, for as long as nothing is written to it.
// Such a file is not rewritten either.
ReadResult readWholeFile(const std::string &path, std::string &text)
{
    switch (common::ReadRegularFile(path, text)) {
    case common::FileRead::Read:
        return ReadResult::Read;
    case common::FileRead::Missing:
        return ReadResult::Missing;
    case common::FileRead::NotOpened:
    case common::FileRead::Failed:
        break;
    }
    return ReadResult::Failed;
}

// The whole text goes to a new file beside the target that replaces it only
// once every byte is on disk, so the target holds either the old or the new text.
bool replaceAtomically(const std::string &path, const std::string &text)
{
    try {
        common::AtomicFileWriter file(path);
        file.Write(text.data(), text.size());
        file.Commit();
        return true;
    } catch (const std::exception &) {
        return false; // reported by the caller with the settings file's own message
    }
}

// Held across read, change and replace, so that two programs writing the
// same settings file do not lose each other's changes. The lock is on a file
// of its own beside the settings file, since the settings file itself is
// replaced by every write; that file is removed again when the lock is let
// go, and a lock taken on a lock file already removed is taken anew.
// Where no lock file can be made (a folder that takes no new files, where
// the settings file is written in place) the settings file itself is locked.
// A holder keeps the lock for one read and replace, milliseconds; one that
// keeps it for seconds has stopped (a stopped or hung program), and the write
// is refused rather than the window waiting for it.
class SettingsLock {
public:
    static constexpr std::chrono::milliseconds WaitBound{2000};

    explicit SettingsLock(const std::string &settingsPath)
    {
        const fs::path path(settingsPath);
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

    // Another holder kept the lock past the bound.
    bool TimedOut() const { return timedOut_; }

    ~SettingsLock()
    {
        if (!lockPath_.empty())
            ::unlink(lockPath_.c_str());
        Close();
    }

    SettingsLock(const SettingsLock &) = delete;
    SettingsLock &operator=(const SettingsLock &) = delete;

private:
    // False where the file system has no locks: the write goes on without.
    bool LockExclusive(int fd)
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

    void Close()
    {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }

    int fd_ = -1;
    std::string lockPath_; // empty unless the lock file is ours to remove
    bool timedOut_ = false;
};

// What tells one state of a file from another without reading it.
struct FileIdentity {
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    std::int64_t modified = 0; // ns
    std::int64_t changed = 0;  // ns

    static std::optional<FileIdentity> Of(const std::string &path)
    {
        struct stat info {};
        if (::stat(path.c_str(), &info) != 0)
            return errno == ENOENT || errno == ENOTDIR ? std::optional(FileIdentity{}) : std::nullopt;
        if (!S_ISREG(info.st_mode))
            return std::nullopt;
        const auto ns = [](const timespec &time) { return std::int64_t{time.tv_sec} * 1'000'000'000 + time.tv_nsec; };
        return FileIdentity{true, info.st_dev, info.st_ino, info.st_size, ns(info.st_mtim), ns(info.st_ctim)};
    }

    bool operator==(const FileIdentity &) const = default;
};

// The latest value written to `key` of `section` by `pending`: the value, or
// none when the section was erased after; nothing when `pending` leaves it alone.
std::optional<std::optional<std::string>> pendingValue(PendingChanges pending, std::string_view section,
                                                       std::string_view key)
{
    for (auto change = pending.rbegin(); change != pending.rend(); ++change) {
        if (!equalsIgnoreCase(Trim(change->section), section))
            continue;
        if (change->kind == SettingsChange::Kind::EraseSection)
            return std::optional<std::string>();
        if (equalsIgnoreCase(Trim(change->key), key))
            return std::optional(std::string(Trim(change->value)));
    }
    return std::nullopt;
}

// The document as a read of `section` sees it: copied and changed only when
// `pending` changes that section.
std::shared_ptr<const IniDocument> withPendingIn(std::shared_ptr<const IniDocument> document,
                                                 std::string_view section, PendingChanges pending)
{
    const bool touched = std::any_of(pending.begin(), pending.end(), [section](const SettingsChange &change) {
        return equalsIgnoreCase(Trim(change.section), section);
    });
    if (!touched)
        return document;
    auto changed = std::make_shared<IniDocument>(*document);
    changed->Apply(pending);
    return changed;
}

bool hasLineBreak(std::string_view text)
{
    return text.find_first_of("\r\n") != std::string_view::npos;
}

// Names and values that would break the file's line structure.
void checkEntry(std::string_view section, std::string_view key, std::string_view value)
{
    const bool badSection = Trim(section).empty() || hasLineBreak(section)
                            || section.find(']') != std::string_view::npos;
    const auto trimmedKey = Trim(key);
    const bool badKey = trimmedKey.empty() || hasLineBreak(key) || key.find('=') != std::string_view::npos
                        || trimmedKey.front() == ';' || trimmedKey.front() == '[';
    if (badSection || badKey || hasLineBreak(value)) {
        throw std::invalid_argument("Ungültiger Eintrag für die Einstellungsdatei: [" + std::string(section)
                                    + "] " + std::string(key));
    }
}

fs::path userConfigFolder()
{
    // Relative values are to be ignored, as the base directory rules say.
    if (const char *config = std::getenv("XDG_CONFIG_HOME"); config && config[0] == '/')
        return config;
    if (const char *home = std::getenv("HOME"); home && home[0] != '\0')
        return fs::path(home) / ".config";
    if (const passwd *user = ::getpwuid(::getuid()); user && user->pw_dir)
        return fs::path(user->pw_dir) / ".config";
    return fs::current_path() / ".config";
}

} // namespace ini

using namespace ini;

struct SettingsFile::Cache {
    // A file's times move in steps of the kernel's clock tick: one changed
    // within a step of an earlier change keeps its times, and a change of the
    // same size goes unseen by them. A file whose last change lies this far
    // before our read changes its times with its next change.
    static constexpr std::int64_t TimeStepNs = 2'000'000'000;

    std::mutex mutex;
    std::optional<FileIdentity> identity;
    std::int64_t readAt = 0; // ns, the wall clock before the read
    std::string text;
    std::shared_ptr<const IniDocument> document;

    static std::int64_t WallClockNs()
    {
        timespec now {};
        ::clock_gettime(CLOCK_REALTIME, &now);
        return std::int64_t{now.tv_sec} * 1'000'000'000 + now.tv_nsec;
    }

    // Our own write: nothing read before it is kept.
    void Forget()
    {
        const std::lock_guard lock(mutex);
        identity.reset();
        document.reset();
        text.clear();
    }

    // The file as it stands; an empty one where it cannot be read. Parsed
    // anew only when its text changed.
    std::shared_ptr<const IniDocument> Read(const std::string &path)
    {
        const std::int64_t startedAt = WallClockNs();
        const auto now = FileIdentity::Of(path);
        const std::lock_guard lock(mutex);
        if (now && document && identity == now && now->modified + TimeStepNs < readAt)
            return document;
        std::string read;
        if (readWholeFile(path, read) != ReadResult::Read)
            read.clear();
        if (!document || read != text) {
            document = std::make_shared<const IniDocument>(IniDocument::Parse(read));
            text = std::move(read);
        }
        // Taken before the read: a file replaced meanwhile differs from it
        // next time and is read again.
        identity = now;
        readAt = startedAt;
        return document;
    }
};

SettingsFile::SettingsFile(std::string fileName)
    : fileName_(std::move(fileName)), cache_(std::make_shared<Cache>())
{
}

std::string SettingsFile::LocationFor(const std::string &executablePath)
{
    // replace_extension only looks at the file name, so a dot in a folder
    // name is left alone and a name without extension gets ".ini" appended.
    const auto besideExecutable = fs::path(executablePath).replace_extension(".ini");
    auto folder = besideExecutable.parent_path();
    if (folder.empty())
        folder = ".";
    // An installed program (<prefix>/bin beside <prefix>/share/midi-sonoret)
    // never writes into the system's folders, even when it could (root).
    std::error_code unreadable;
    const bool installed = folder.filename() == "bin"
                           && fs::is_directory(folder.parent_path() / "share" / kConfigFolderName, unreadable);
    if (!installed && ::access(folder.c_str(), W_OK | X_OK) == 0)
        return besideExecutable.string();
    // A settings file that is there and writable is written in place.
    struct stat existing {};
    if (!installed && ::stat(besideExecutable.c_str(), &existing) == 0 && S_ISREG(existing.st_mode)
        && ::access(besideExecutable.c_str(), W_OK) == 0)
        return besideExecutable.string();

    // Same file name as beside the executable, so two programs with
    // different names keep separate settings here as well.
    const auto configFolder = userConfigFolder() / kConfigFolderName;
    std::error_code ignored; // a folder that cannot be made shows up as a refused write
    fs::create_directories(configFolder, ignored);
    return (configFolder / besideExecutable.filename()).string();
}

std::string SettingsFile::ReadString(const std::string &section, const std::string &key,
                                     const std::string &defaultValue, PendingChanges pending) const
{
    if (const auto written = pendingValue(pending, Trim(section), Trim(key)))
        return written->value_or(defaultValue);
    return cache_->Read(fileName_)->Value(Trim(section), Trim(key)).value_or(defaultValue);
}

void SettingsFile::WriteString(const std::string &section, const std::string &key, const std::string &value)
{
    const SettingsChange change = SettingsChange::Write(section, key, value);
    Apply(PendingChanges(&change, 1));
}

std::int32_t SettingsFile::ReadInteger(const std::string &section, const std::string &key,
                                       std::int32_t defaultValue, PendingChanges pending) const
{
    const auto text = ReadString(section, key, std::string(), pending);
    return common::TryStrToInt(text).value_or(defaultValue);
}

void SettingsFile::WriteInteger(const std::string &section, const std::string &key, std::int32_t value)
{
    WriteString(section, key, std::to_string(value));
}

bool SettingsFile::ReadBool(const std::string &section, const std::string &key, bool defaultValue,
                            PendingChanges pending) const
{
    return ReadInteger(section, key, defaultValue ? 1 : 0, pending) != 0;
}

void SettingsFile::WriteBool(const std::string &section, const std::string &key, bool value)
{
    WriteString(section, key, value ? "1" : "0");
}

std::vector<std::string> SettingsFile::ReadSection(const std::string &section, PendingChanges pending) const
{
    const auto document = withPendingIn(cache_->Read(fileName_), Trim(section), pending);
    std::vector<std::string> keys;
    for (const auto &line : document->Keys(Trim(section)))
        keys.emplace_back(line.key);
    return keys;
}

std::vector<std::string> SettingsFile::ReadSectionValues(const std::string &section,
                                                         PendingChanges pending) const
{
    const auto document = withPendingIn(cache_->Read(fileName_), Trim(section), pending);
    std::vector<std::string> lines;
    for (const auto &line : document->Keys(Trim(section)))
        lines.push_back(std::string(line.key) + "=" + std::string(line.value));
    return lines;
}

void SettingsFile::EraseSection(const std::string &section)
{
    const SettingsChange change = SettingsChange::Erase(section);
    Apply(PendingChanges(&change, 1));
}

void SettingsFile::Apply(PendingChanges changes)
{
    for (const auto &change : changes) {
        if (change.kind == SettingsChange::Kind::Write)
            CheckEntry(change.section, change.key, change.value);
    }
    const SettingsLock lock(fileName_);
    if (lock.TimedOut())
        throw EIniFileException(WriteRefusedMessage());
    std::string text;
    // A file that exists but cannot be read is not rewritten: that would
    // replace all its settings with these values.
    if (readWholeFile(fileName_, text) == ReadResult::Failed)
        throw EIniFileException(WriteRefusedMessage());
    auto document = IniDocument::Parse(text);
    // Erasing what is not there, or writing what is there, leaves the file alone.
    if (!document.Apply(changes))
        return;
    const bool replaced = replaceAtomically(fileName_, document.Serialize());
    cache_->Forget();
    if (!replaced)
        throw EIniFileException(WriteRefusedMessage());
}

void SettingsFile::CheckEntry(const std::string &section, const std::string &key, const std::string &value)
{
    checkEntry(section, key, value);
}

bool SettingsFile::SameName(std::string_view a, std::string_view b)
{
    return equalsIgnoreCase(Trim(a), Trim(b));
}

std::string SettingsFile::WriteRefusedMessage() const
{
    return "In " + fileName_ + " kann nicht geschrieben werden";
}

} // namespace common
