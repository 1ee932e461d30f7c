#include "app/UStrings.h"
#include "performance/KeyCodes.h"
#include "performance/KeyMap.h"
#include "performance/KeyStateTable.h"

#include <QKeyEvent>
#include <gtest/gtest.h>

using performance::VirtualKeyFromQtKey;
using performance::VirtualKeyFromScanCode;

namespace {

// The physical key of each default piano key on a German keyboard, by its
// evdev code, and the Qt key it reports there when that key means the same
// on every layout (0: it does not).
struct DefaultPosition {
    int number;
    const char *label;
    int evdev;
    int qtKey;
};

constexpr DefaultPosition DefaultPositions[] = {
    {1, "<", 86, 0},           {2, "Y", 44, Qt::Key_Y},   {3, "X", 45, Qt::Key_X},
    {4, "C", 46, Qt::Key_C},   {5, "V", 47, Qt::Key_V},   {6, "B", 48, Qt::Key_B},
    {7, "N", 49, Qt::Key_N},   {8, "M", 50, Qt::Key_M},   {9, ",", 51, Qt::Key_Comma},
    {10, ".", 52, Qt::Key_Period}, {11, "-", 53, Qt::Key_Minus},
    {12, "right Shift", 54, Qt::Key_Shift},
    {13, "A", 30, Qt::Key_A},  {14, "S", 31, Qt::Key_S},  {15, "F", 33, Qt::Key_F},
    {16, "G", 34, Qt::Key_G},  {17, "H", 35, Qt::Key_H},  {18, "K", 37, Qt::Key_K},
    {19, "L", 38, Qt::Key_L},  {20, "Ä", 40, 0},          {21, "#", 43, 0},
    {22, "Q", 16, Qt::Key_Q},  {23, "W", 17, Qt::Key_W},  {24, "E", 18, Qt::Key_E},
    {25, "R", 19, Qt::Key_R},  {26, "T", 20, Qt::Key_T},  {27, "Z", 21, Qt::Key_Z},
    {28, "U", 22, Qt::Key_U},  {29, "I", 23, Qt::Key_I},  {30, "O", 24, Qt::Key_O},
    {31, "P", 25, Qt::Key_P},  {32, "Ü", 26, 0},          {33, "+", 27, 0},
    {34, "1", 2, Qt::Key_1},   {35, "2", 3, Qt::Key_2},   {36, "4", 5, Qt::Key_4},
    {37, "5", 6, Qt::Key_5},   {38, "7", 8, Qt::Key_7},   {39, "8", 9, Qt::Key_8},
    {40, "9", 10, Qt::Key_9},  {41, "ß", 12, 0},          {42, "´", 13, 0},
};

TEST(KeyCodes, EachDefaultKeyPositionGivesItsDefaultCode)
{
    ASSERT_EQ(std::size(DefaultPositions), performance::DefaultKeyCodes.size());
    for (const auto &position : DefaultPositions) {
        const int expected = performance::DefaultKeyCodes[position.number - 1];
        EXPECT_EQ(VirtualKeyFromScanCode(position.evdev + 8), expected) << position.label;
        if (position.qtKey != 0) {
            EXPECT_EQ(VirtualKeyFromQtKey(position.qtKey), expected) << position.label;
        }
    }
}

TEST(KeyCodes, PositionsWithoutACodeGiveNone)
{
    EXPECT_EQ(VirtualKeyFromScanCode(42 + 8), 16); // left Shift, as the right one
    for (std::uint32_t scanCode : {0u, 7u, 85u + 8, 255u, 100000u})
        EXPECT_EQ(VirtualKeyFromScanCode(scanCode), std::nullopt) << scanCode;
    EXPECT_EQ(VirtualKeyFromQtKey(Qt::Key_Adiaeresis), std::nullopt);
    // A scan code the table lacks is no key, whatever Qt key comes with it.
    const QKeyEvent unknown(QEvent::KeyPress, Qt::Key_Z, Qt::NoModifier, 85 + 8, 0, 0);
    EXPECT_EQ(performance::VirtualKeyOf(unknown), std::nullopt);
}

TEST(KeyStateTable, ACodeIsDownWhileAnyOfItsKeysIs)
{
    performance::KeyStateTable table;
    table.Press(50, 16);
    table.Press(62, 16);
    table.Press(62, 16); // the same press seen twice
    table.Release(62);
    EXPECT_TRUE(table.IsDown(16)) << "left Shift still held";
    table.Release(50);
    EXPECT_FALSE(table.IsDown(16));
    table.Press(38, 65);
    table.ReleaseAll();
    EXPECT_FALSE(table.IsDown(65));
}

TEST(KeyMap, ValuesAreCutAfterTheLastEqualsSign)
{
    const auto map = performance::KeyMapFromSection({"65", "x41", "7"},
                                                    {"65=13", "x41=a=b=12", "7"});
    EXPECT_EQ(map.codes, (QStringList{"65", "x41", "7"}));
    EXPECT_EQ(map.numbers, (QStringList{"13", "12", "7"}));
}

TEST(KeyMap, OnlyTheKeysOwnNamesNameAKey)
{
    const std::pair<const char *, int> cases[] = {
        {"1", 1}, {"42", 42}, {"9", 9}, {"0", 0}, {"43", 0}, {"01", 0}, {"+1", 0},
        {" 1", 0}, {"1 ", 0}, {"abc", 0}, {"", 0}, {"100", 0}, {"-1", 0},
    };
    for (const auto &[text, number] : cases)
        EXPECT_EQ(performance::KeyNumberFromText(QString::fromUtf8(text)), number) << text;
}

} // namespace
