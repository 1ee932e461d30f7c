#pragma once
// The settings file: a classic INI file read one value at a time and written
// one value or one batch of changes at a time. A read sees the file as it
// stands: the last text read is kept only while the file is the same one
// (same inode, size and times), so that a large file is parsed once rather
// than for every value. The text itself is `ini::IniDocument`'s. Every write
// replaces the file atomically (temporary file in the same folder, flush,
// rename), so a crash or a full disk never leaves half a file behind; it
// holds a `SettingsLock` from reading the file to replacing it, so that
// programs writing at the same time keep each other's changes. Only a
// regular file is read.

#include "common/IniText.h"

#include <cstdint>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace common {

// A settings write the system refused: "In <path> kann nicht geschrieben werden".
class EIniFileException : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class SettingsFile {
public:
    explicit SettingsFile(std::string fileName);

    // Where an executable keeps its settings: its path with the extension
    // replaced by ".ini"; when the executable's folder is not writable and
    // holds no writable settings file of that name,
    // $XDG_CONFIG_HOME/midi-sonoret/ (default ~/.config/midi-sonoret/) with
    // the same file name.
    static std::string LocationFor(const std::string &executablePath);

    const std::string &FileName() const { return fileName_; }

    // Each read sees the file with `pending` applied on top, in order.
    std::string ReadString(const std::string &section, const std::string &key,
                           const std::string &defaultValue, PendingChanges pending = {}) const;
    // Raises EIniFileException when the file cannot be replaced, leaving the
    // old file as it was; a name or value that would break the file's line
    // structure (line breaks, "=" in a key, "]" in a section) raises
    // std::invalid_argument.
    void WriteString(const std::string &section, const std::string &key, const std::string &value);

    // Text that does not convert, and a missing key, give the default.
    std::int32_t ReadInteger(const std::string &section, const std::string &key,
                             std::int32_t defaultValue, PendingChanges pending = {}) const;
    void WriteInteger(const std::string &section, const std::string &key, std::int32_t value);
    bool ReadBool(const std::string &section, const std::string &key, bool defaultValue,
                  PendingChanges pending = {}) const;
    void WriteBool(const std::string &section, const std::string &key, bool value);

    // The keys of a section, in file order.
    std::vector<std::string> ReadSection(const std::string &section, PendingChanges pending = {}) const;
    // The key=value lines of a section, in file order.
    std::vector<std::string> ReadSectionValues(const std::string &section, PendingChanges pending = {}) const;
    void EraseSection(const std::string &section);

    // Applies the changes in order with one read and one replace of the
    // file under the lock: all of them or, raising as WriteString does,
    // none.
    void Apply(PendingChanges changes);

    // Raises std::invalid_argument for an entry WriteString would refuse,
    // so that it can be refused before the write is handed on.
    static void CheckEntry(const std::string &section, const std::string &key, const std::string &value);
    // Whether two section or key names mean the same entry.
    static bool SameName(std::string_view a, std::string_view b);

    std::string WriteRefusedMessage() const;

private:
    struct Cache;
    std::string fileName_;
    // Shared by copies, which name the same file.
    std::shared_ptr<Cache> cache_;
};

} // namespace common
