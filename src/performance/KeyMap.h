#pragma once
// The key map: two parallel lists of decimal texts, entry i of KeyCodeList
// being a PC key's code and entry i of KeyNumberList the number of the piano
// key it plays. They are read from the settings file's Keys section.

#include "performance/KeyGeometry.h"

#include <QStringList>

#include <array>
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

// Default key map: entry i plays piano key DefaultKeyNumbers[i] with the
// platform virtual-key code DefaultKeyCodes[i].
inline constexpr std::array<int, KeyCount> DefaultKeyCodes{
    226, 89,  88,  67,  86,  66,  78,  77,  188, 190, 189, 16,  65, 83,
    70,  71,  72,  75,  76,  222, 191, 81,  87,  69,  82,  84,  90, 85,
    73,  79,  80,  186, 187, 49,  50,  52,  53,  55,  56,  57,  219, 221,
};
inline constexpr std::array<int, KeyCount> DefaultKeyNumbers{
    1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14,
    15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28,
    29, 30, 31, 32, 33, 34, 35, 36, 37, 38, 39, 40, 41, 42,
};

// The defaults as the two lists hold them: one decimal string per entry.
QStringList DefaultKeyCodeList();
QStringList DefaultKeyNumberList();

// The piano key number that the component name "Key" + `numberText` names:
// 1..42 written exactly as the keys' names write it; none otherwise.
int KeyNumberFromText(const QString &numberText);

} // namespace performance
