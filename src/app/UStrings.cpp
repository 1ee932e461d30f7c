#include "app/UStrings.h"

namespace app {

namespace {
QStringList AsDecimalStrings(const std::array<int, 42> &values)
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

} // namespace app
