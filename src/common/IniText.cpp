#include "common/IniText.h"

#include <algorithm>
#include <stdexcept>
#include <unordered_set>

namespace common::ini {

namespace {

// Blanks around names and values are not part of them; "\r" belongs to the
// line end of files edited on Windows.
constexpr std::string_view kBlanks = " \t\r";
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

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

} // namespace

std::string_view Trim(std::string_view text)
{
    const auto first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos)
        return {};
    const auto last = text.find_last_not_of(kBlanks);
    return text.substr(first, last - first + 1);
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (AsciiLower(a[i]) != AsciiLower(b[i]))
            return false;
    }
    return true;
}

namespace {

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

} // namespace

IniDocument IniDocument::Parse(std::string_view text)
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

std::string IniDocument::Serialize() const
{
    std::string text = bom_ ? std::string(kUtf8Bom) : std::string();
    for (const auto &line : lines_) {
        text += line;
        text += newline_;
    }
    return text;
}

std::optional<IniDocument::Section> IniDocument::FindSection(std::string_view name) const
{
    for (std::size_t h = 0; h < headers_.size(); ++h) {
        if (EqualsIgnoreCase(*sectionNameOf(lines_[headers_[h]]), name))
            return Section{headers_[h], h + 1 < headers_.size() ? headers_[h + 1] : lines_.size()};
    }
    return std::nullopt;
}

std::optional<std::size_t> IniDocument::FindKey(const IniDocument::Section &section, std::string_view key) const
{
    for (std::size_t i = section.header + 1; i < section.end; ++i) {
        const auto line = keyLineOf(lines_[i]);
        if (line && EqualsIgnoreCase(line->key, key))
            return i;
    }
    return std::nullopt;
}

std::optional<std::string> IniDocument::Value(std::string_view sectionName, std::string_view key) const
{
    const auto section = FindSection(sectionName);
    if (!section)
        return std::nullopt;
    const auto index = FindKey(*section, key);
    if (!index)
        return std::nullopt;
    return std::string(keyLineOf(lines_[*index])->value);
}

std::vector<KeyLine> IniDocument::Keys(std::string_view sectionName) const
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

bool IniDocument::Set(std::string_view sectionName, std::string_view key, std::string_view value)
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

bool IniDocument::Erase(std::string_view sectionName)
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

bool IniDocument::Apply(PendingChanges changes)
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

void IniDocument::Index()
{
    headers_.clear();
    for (std::size_t i = 0; i < lines_.size(); ++i)
        if (sectionNameOf(lines_[i]))
            headers_.push_back(i);
}

std::optional<std::optional<std::string>> PendingValue(PendingChanges pending, std::string_view section,
                                                       std::string_view key)
{
    for (auto change = pending.rbegin(); change != pending.rend(); ++change) {
        if (!EqualsIgnoreCase(Trim(change->section), section))
            continue;
        if (change->kind == SettingsChange::Kind::EraseSection)
            return std::optional<std::string>();
        if (EqualsIgnoreCase(Trim(change->key), key))
            return std::optional(std::string(Trim(change->value)));
    }
    return std::nullopt;
}

std::shared_ptr<const IniDocument> WithPendingIn(std::shared_ptr<const IniDocument> document,
                                                 std::string_view section, PendingChanges pending)
{
    const bool touched = std::any_of(pending.begin(), pending.end(), [section](const SettingsChange &change) {
        return EqualsIgnoreCase(Trim(change.section), section);
    });
    if (!touched)
        return document;
    auto changed = std::make_shared<IniDocument>(*document);
    changed->Apply(pending);
    return changed;
}

namespace {

bool hasLineBreak(std::string_view text)
{
    return text.find_first_of("\r\n") != std::string_view::npos;
}

} // namespace

void CheckEntry(std::string_view section, std::string_view key, std::string_view value)
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

} // namespace common::ini
