#pragma once
// The text of an INI file: its lines parsed into sections and key=value
// lines, changed in place and written back with the file's own line ends and
// byte order mark, so that a rewrite changes nothing but the edited lines.
// Sections and keys match without regard to case. No files, no locks: the
// settings store reads and writes the text.

#include <cstddef>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace common {

// One change to the file: a value written, or a section erased.
struct SettingsChange {
    enum class Kind { Write, EraseSection };

    static SettingsChange Write(std::string section, std::string key, std::string value)
    {
        return {Kind::Write, std::move(section), std::move(key), std::move(value)};
    }
    static SettingsChange Erase(std::string section) { return {Kind::EraseSection, std::move(section), {}, {}}; }

    Kind kind = Kind::Write;
    std::string section;
    std::string key;   // Write only
    std::string value; // Write only
};

// Changes not yet in the file that a read is to see as if they were.
using PendingChanges = std::span<const SettingsChange>;

namespace ini {

std::string_view Trim(std::string_view text);
bool EqualsIgnoreCase(std::string_view a, std::string_view b);

struct KeyLine {
    std::string_view key;
    std::string_view value;
};

class IniDocument {
public:
    // Line indices of one section: its header and the end of its body.
    struct Section {
        std::size_t header;
        std::size_t end;
    };

    static IniDocument Parse(std::string_view text);
    std::string Serialize() const;

    std::optional<Section> FindSection(std::string_view name) const;
    std::optional<std::size_t> FindKey(const Section &section, std::string_view key) const;
    std::optional<std::string> Value(std::string_view sectionName, std::string_view key) const;
    // The key lines of a section in file order; a key that appears twice
    // counts once, with its first line, as it does for reading its value.
    std::vector<KeyLine> Keys(std::string_view sectionName) const;

    // False when the key already holds the value: the text stays as it is.
    bool Set(std::string_view sectionName, std::string_view key, std::string_view value);
    // Removes every section of that name with its lines and the blank lines
    // that separate it from the next; false when there was none.
    bool Erase(std::string_view sectionName);
    // True when any change touched the lines.
    bool Apply(PendingChanges changes);

private:
    void Index();

    std::vector<std::string> lines_;
    // The lines that are section headers, so that a look-up passes over the
    // sections rather than every line of a large file.
    std::vector<std::size_t> headers_;
    std::string newline_ = "\n";
    bool bom_ = false;
};

// The latest value written to `key` of `section` by `pending`: the value, or
// none when the section was erased after; nothing when `pending` leaves it alone.
std::optional<std::optional<std::string>> PendingValue(PendingChanges pending, std::string_view section,
                                                       std::string_view key);

// The document as a read of `section` sees it: copied and changed only when
// `pending` changes that section.
std::shared_ptr<const IniDocument> WithPendingIn(std::shared_ptr<const IniDocument> document,
                                                 std::string_view section, PendingChanges pending);

// Raises std::invalid_argument for names and values that would break the
// file's line structure (line breaks, "=" in a key, "]" in a section).
void CheckEntry(std::string_view section, std::string_view key, std::string_view value);

} // namespace ini
} // namespace common
