#pragma once
// The settings file: a classic INI file read and written one value at a time,
// with nothing cached between accesses. Sections and keys match without regard
// to case; sections, keys and lines keep their file order. Every write
// replaces the file atomically (temporary file in the same folder, flush,
// rename), so a crash or a full disk never leaves half a file behind; it holds
// a lock from reading the file to replacing it, so that programs writing at
// the same time keep each other's changes. Only a regular file is read.

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace app {

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

    std::string ReadString(const std::string &section, const std::string &key,
                           const std::string &defaultValue) const;
    // Raises EIniFileException when the file cannot be replaced, leaving the
    // old file as it was; a name or value that would break the file's line
    // structure (line breaks, "=" in a key, "]" in a section) raises
    // std::invalid_argument.
    void WriteString(const std::string &section, const std::string &key, const std::string &value);

    // Text that does not convert, and a missing key, give the default.
    std::int32_t ReadInteger(const std::string &section, const std::string &key,
                             std::int32_t defaultValue) const;
    void WriteInteger(const std::string &section, const std::string &key, std::int32_t value);
    bool ReadBool(const std::string &section, const std::string &key, bool defaultValue) const;
    void WriteBool(const std::string &section, const std::string &key, bool value);

    // The keys of a section, in file order.
    std::vector<std::string> ReadSection(const std::string &section) const;
    // The key=value lines of a section, in file order.
    std::vector<std::string> ReadSectionValues(const std::string &section) const;
    void EraseSection(const std::string &section);

private:
    std::string WriteRefusedMessage() const;

    std::string fileName_;
};

} // namespace app
