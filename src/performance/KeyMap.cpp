#include "performance/KeyMap.h"

#include "common/IntegerConversion.h"
#include "performance/KeyGeometry.h"

#include <algorithm>

namespace performance {

KeyMapLists KeyMapFromSection(const std::vector<std::string> &keys,
                              const std::vector<std::string> &lines)
{
    KeyMapLists map;
    map.codes.reserve(static_cast<qsizetype>(keys.size()));
    map.numbers.reserve(static_cast<qsizetype>(lines.size()));
    // Checked once here rather than on every pass over the keyboard.
    for (std::size_t i = 0; i < std::max(keys.size(), lines.size()); ++i) {
        if (i < keys.size() && !common::TryStrToInt(keys[i])) {
            map.rejected.push_back(keys[i]);
            continue;
        }
        if (i < keys.size())
            map.codes.append(QString::fromStdString(keys[i]));
        if (i < lines.size()) {
            const auto &line = lines[i];
            const auto value = line.substr(line.rfind('=') + 1); // npos + 1 == 0: the whole line
            map.numbers.append(QString::fromStdString(value));
        }
    }
    return map;
}

namespace {
QStringList AsDecimalStrings(const std::array<int, KeyCount> &values)
{
    QStringList list;
    list.reserve(static_cast<qsizetype>(values.size()));
    for (int value : values)
        list.append(QString::number(value));
    return list;
}
} // namespace

QStringList DefaultKeyCodeList() { return AsDecimalStrings(DefaultKeyCodes); }
QStringList DefaultKeyNumberList() { return AsDecimalStrings(DefaultKeyNumbers); }

int KeyNumberFromText(const QString &numberText)
{
    // Names are "Key1".."Key42": no sign, no blanks, no leading zero.
    if (numberText.isEmpty() || numberText.size() > 2 || numberText.front() == u'0')
        return 0;
    int number = 0;
    for (const QChar c : numberText) {
        if (c < u'0' || c > u'9')
            return 0;
        number = number * 10 + (c.unicode() - u'0');
    }
    return number <= KeyCount ? number : 0;
}

} // namespace performance
