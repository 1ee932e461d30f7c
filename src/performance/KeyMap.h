#pragma once
// The key map: two parallel lists of decimal texts, entry i of KeyCodeList
// being a PC key's code and entry i of KeyNumberList the number of the piano
// key it plays. They are read from the settings file's Keys section.

#include <QStringList>

#include <string>
#include <vector>

namespace performance {

struct KeyMapLists {
    QStringList codes;
    QStringList numbers;
    // The keys that are no code (not a 32-bit number): left out of the
    // lists, for the reader to tell where they stand.
    std::vector<std::string> rejected;
};

// `keys` are the section's keys and `lines` its key=value lines, both in
// file order; each line is cut down to the text after its last "=".
KeyMapLists KeyMapFromSection(const std::vector<std::string> &keys,
                              const std::vector<std::string> &lines);

// The piano key number that the component name "Key" + `numberText` names:
// 1..42 written exactly as the keys' names write it; none otherwise.
int KeyNumberFromText(const QString &numberText);

} // namespace performance
