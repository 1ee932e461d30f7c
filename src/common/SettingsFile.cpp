#include "common/SettingsFile.h"

#include "common/AtomicFileWriter.h"
#include "common/IniText.h"
#include "common/SettingsLock.h"

#include "common/IntegerConversion.h"
#include "common/RegularFile.h"

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string_view>
#include <system_error>

#include <pwd.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

namespace common {

// Named rather than anonymous: the file's cache, a member of SettingsFile,
// holds its types.
namespace store {

using namespace ini;

namespace fs = std::filesystem;

// Folder below the user's configuration folder for installed executables.
constexpr const char *kConfigFolderName = "midi-sonoret";

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

} // namespace store

using namespace ini;
using namespace store;

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
    if (const auto written = PendingValue(pending, Trim(section), Trim(key)))
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
    const auto document = WithPendingIn(cache_->Read(fileName_), Trim(section), pending);
    std::vector<std::string> keys;
    for (const auto &line : document->Keys(Trim(section)))
        keys.emplace_back(line.key);
    return keys;
}

std::vector<std::string> SettingsFile::ReadSectionValues(const std::string &section,
                                                         PendingChanges pending) const
{
    const auto document = WithPendingIn(cache_->Read(fileName_), Trim(section), pending);
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
    ini::CheckEntry(section, key, value);
}

bool SettingsFile::SameName(std::string_view a, std::string_view b)
{
    return EqualsIgnoreCase(Trim(a), Trim(b));
}

std::string SettingsFile::WriteRefusedMessage() const
{
    return "In " + fileName_ + " kann nicht geschrieben werden";
}

} // namespace common
