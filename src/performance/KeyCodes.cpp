#include "performance/KeyCodes.h"

#include <QKeyEvent>

namespace performance {

namespace {

constexpr auto NativeTable = detail::NativeScanCodeTable();

struct QtKeyEntry {
    int qtKey;
    int virtualKey;
};

// Keys that are the same key on every layout; letters and digits are
// handled as ranges below.
constexpr QtKeyEntry QtKeyTable[] = {
    {Qt::Key_Shift, VkShift},
    {Qt::Key_Control, VkControl},
    {Qt::Key_Alt, VkAlt},
    {Qt::Key_Comma, 188},
    {Qt::Key_Period, 190},
    {Qt::Key_Minus, 189},
    {Qt::Key_Space, 32},
    {Qt::Key_Return, 13},
    {Qt::Key_Enter, 13},
    {Qt::Key_Tab, 9},
    {Qt::Key_Backtab, 9},
    {Qt::Key_Backspace, 8},
    {Qt::Key_Escape, 27},
    {Qt::Key_PageUp, 33},
    {Qt::Key_PageDown, 34},
    {Qt::Key_End, 35},
    {Qt::Key_Home, 36},
    {Qt::Key_Left, 37},
    {Qt::Key_Up, 38},
    {Qt::Key_Right, 39},
    {Qt::Key_Down, 40},
    {Qt::Key_Insert, 45},
    {Qt::Key_Delete, 46},
};

constexpr int VkF1 = 112;

} // namespace

std::optional<int> VirtualKeyFromScanCode(std::uint32_t nativeScanCode)
{
    if (nativeScanCode >= NativeTable.size() || NativeTable[nativeScanCode] == 0)
        return std::nullopt;
    return NativeTable[nativeScanCode];
}

std::optional<int> VirtualKeyFromQtKey(int qtKey)
{
    // Letters and digits: their upper-case character codes, as in Qt.
    if ((qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) || (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9))
        return qtKey;
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F24)
        return VkF1 + (qtKey - Qt::Key_F1);
    for (const auto &entry : QtKeyTable)
        if (entry.qtKey == qtKey)
            return entry.virtualKey;
    return std::nullopt;
}

std::optional<int> VirtualKeyOf(const QKeyEvent &event)
{
    if (event.nativeScanCode() != 0)
        return VirtualKeyFromScanCode(event.nativeScanCode());
    return VirtualKeyFromQtKey(event.key());
}

} // namespace performance
