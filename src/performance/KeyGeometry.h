#pragma once
// The 42 piano keys: note, colour and place of each, and the order in which
// they are stacked. The main window and the key assignment window both build
// their keyboards from this one table.

#include <array>
#include <cstdint>

namespace performance {

struct KeyGeometry {
    int number;            // 1..42; the key's widget is named "Key" + number
    std::uint8_t note;     // MIDI note before transposition
    bool black;            // fill: black or white, fixed for the key's life
    int left, top, width, height;
    int outlineWidth;      // drawn inside the key's bounds
};

inline constexpr int KeyCount = 42;

// Tops in the main window's client area; the key assignment window shifts
// both rows up by the same amount.
inline constexpr int UpperRowTop = 70;
inline constexpr int LowerRowTop = 206;

// Indexed by number - 1.
inline constexpr std::array<KeyGeometry, KeyCount> KeyTable{{
    // Lower row, white keys.
    {1, 36, false, 9, LowerRowTop, 56, 131, 5},
    {2, 38, false, 64, LowerRowTop, 56, 131, 5},
    {3, 40, false, 119, LowerRowTop, 56, 131, 5},
    {4, 41, false, 174, LowerRowTop, 56, 131, 5},
    {5, 43, false, 229, LowerRowTop, 56, 131, 5},
    {6, 45, false, 283, LowerRowTop, 56, 131, 5},
    {7, 47, false, 338, LowerRowTop, 56, 131, 5},
    {8, 48, false, 393, LowerRowTop, 56, 131, 5},
    {9, 50, false, 448, LowerRowTop, 56, 131, 5},
    {10, 52, false, 503, LowerRowTop, 56, 131, 5},
    {11, 53, false, 558, LowerRowTop, 56, 131, 5},
    {12, 55, false, 613, LowerRowTop, 56, 131, 5},
    // Lower row, black keys; the narrow last one continues at the upper row's start.
    {13, 37, true, 46, LowerRowTop, 37, 67, 3},
    {14, 39, true, 102, LowerRowTop, 37, 67, 3},
    {15, 42, true, 211, LowerRowTop, 38, 67, 3},
    {16, 44, true, 266, LowerRowTop, 38, 67, 3},
    {17, 46, true, 320, LowerRowTop, 38, 67, 3},
    {18, 49, true, 431, LowerRowTop, 38, 67, 3},
    {19, 51, true, 486, LowerRowTop, 37, 67, 3},
    {20, 54, true, 595, LowerRowTop, 38, 67, 3},
    {21, 56, true, 642, LowerRowTop, 25, 67, 3},
    // Upper row, white keys.
    {22, 57, false, 9, UpperRowTop, 56, 131, 5},
    {23, 59, false, 64, UpperRowTop, 56, 131, 5},
    {24, 60, false, 119, UpperRowTop, 56, 131, 5},
    {25, 62, false, 174, UpperRowTop, 56, 131, 5},
    {26, 64, false, 229, UpperRowTop, 56, 131, 5},
    {27, 65, false, 283, UpperRowTop, 56, 131, 5},
    {28, 67, false, 338, UpperRowTop, 56, 131, 5},
    {29, 69, false, 393, UpperRowTop, 56, 131, 5},
    {30, 71, false, 448, UpperRowTop, 56, 131, 5},
    {31, 72, false, 503, UpperRowTop, 56, 131, 5},
    {32, 74, false, 558, UpperRowTop, 56, 131, 5},
    {33, 76, false, 613, UpperRowTop, 56, 131, 5},
    // Upper row, black keys; the narrow first one repeats note 56.
    {34, 56, true, 9, UpperRowTop, 24, 67, 3},
    {35, 58, true, 46, UpperRowTop, 37, 67, 3},
    {36, 61, true, 155, UpperRowTop, 38, 67, 3},
    {37, 63, true, 210, UpperRowTop, 38, 67, 3},
    {38, 66, true, 320, UpperRowTop, 38, 67, 3},
    {39, 68, true, 375, UpperRowTop, 38, 67, 3},
    {40, 70, true, 430, UpperRowTop, 37, 67, 3},
    {41, 73, true, 539, UpperRowTop, 38, 67, 3},
    {42, 75, true, 594, UpperRowTop, 38, 67, 3},
}};

// Key numbers from bottom to top: a later key is drawn over an earlier one
// and gets the mouse where they overlap, so every black key lies above the
// white keys it covers.
inline constexpr std::array<int, KeyCount> KeyStackingOrder{
    22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32, 33,
    35, 36, 37, 38, 39, 40, 41, 42,
    1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12,
    14, 15, 16, 17, 18, 19, 20, 21,
    34, 13,
};

constexpr const KeyGeometry &KeyByNumber(int number) { return KeyTable[number - 1]; }

namespace detail {
constexpr bool TableIsConsistent()
{
    for (int i = 0; i < KeyCount; ++i)
        if (KeyTable[i].number != i + 1)
            return false;
    std::array<bool, KeyCount> seen{};
    for (int number : KeyStackingOrder) {
        if (number < 1 || number > KeyCount || seen[number - 1])
            return false;
        seen[number - 1] = true;
    }
    return true;
}
} // namespace detail
static_assert(detail::TableIsConsistent(), "key table rows out of order or stacking order not a permutation");

} // namespace performance
