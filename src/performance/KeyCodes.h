#pragma once
// Key codes by key position. A PC key is known by the virtual-key code that
// its position has on a German keyboard, whatever layout the user has set:
// the key map was laid out on a German keyboard, and the same physical keys
// must play the same piano keys everywhere. Qt reports the position as the
// native scan code, which under X11 and Wayland is the evdev code + 8.

#include <array>
#include <cstdint>
#include <optional>

class QKeyEvent;

namespace performance {

// Virtual-key codes with a name of their own in this program.
inline constexpr int VkShift = 16;
inline constexpr int VkControl = 17;
inline constexpr int VkAlt = 18;

// Native scan code = evdev code + this, under X11 and Wayland.
inline constexpr int NativeScanCodeOffset = 8;

struct ScanCodeEntry {
    std::uint16_t evdev;      // Linux input event code of the key position
    std::uint8_t virtualKey;  // code of that position on a German keyboard
};

// Every key position the program knows, by evdev code.
inline constexpr ScanCodeEntry ScanCodeTable[] = {
    // Main block, top row.
    {1, 27},    // Esc
    {41, 220},  // ^
    {2, 49}, {3, 50}, {4, 51}, {5, 52}, {6, 53}, {7, 54}, {8, 55}, {9, 56}, {10, 57}, {11, 48},
    {12, 219},  // ß
    {13, 221},  // ´
    {14, 8},    // Backspace
    // Q row; the German Z sits where other layouts have Y.
    {15, 9},    // Tab
    {16, 81}, {17, 87}, {18, 69}, {19, 82}, {20, 84}, {21, 90}, {22, 85}, {23, 73}, {24, 79},
    {25, 80},
    {26, 186},  // Ü
    {27, 187},  // +
    {28, 13},   // Enter
    // A row.
    {58, 20},   // Caps Lock
    {30, 65}, {31, 83}, {32, 68}, {33, 70}, {34, 71}, {35, 72}, {36, 74}, {37, 75}, {38, 76},
    {39, 192},  // Ö
    {40, 222},  // Ä
    {43, 191},  // #
    // Bottom letter row; the German Y sits where other layouts have Z.
    {42, VkShift},  // left Shift
    {86, 226},      // <
    {44, 89}, {45, 88}, {46, 67}, {47, 86}, {48, 66}, {49, 78}, {50, 77},
    {51, 188},      // ,
    {52, 190},      // .
    {53, 189},      // -
    {54, VkShift},  // right Shift
    // Space row.
    {29, VkControl}, {97, VkControl},
    {56, VkAlt}, {100, VkAlt},
    {125, 91}, {126, 92}, {127, 93},  // Windows keys, menu key
    {57, 32},   // Space
    // Function keys F1..F12, F13..F24.
    {59, 112}, {60, 113}, {61, 114}, {62, 115}, {63, 116}, {64, 117}, {65, 118}, {66, 119},
    {67, 120}, {68, 121}, {87, 122}, {88, 123},
    {183, 124}, {184, 125}, {185, 126}, {186, 127}, {187, 128}, {188, 129}, {189, 130},
    {190, 131}, {191, 132}, {192, 133}, {193, 134}, {194, 135},
    // Navigation block.
    {99, 44},   // Print
    {70, 145},  // Scroll Lock
    {119, 19},  // Pause
    {110, 45}, {102, 36}, {104, 33},  // Insert, Home, Page Up
    {111, 46}, {107, 35}, {109, 34},  // Delete, End, Page Down
    {103, 38}, {105, 37}, {108, 40}, {106, 39},  // arrows: up, left, down, right
    // Numeric pad, with Num Lock on.
    {69, 144},  // Num Lock
    {98, 111}, {55, 106}, {74, 109}, {78, 107},  // / * - +
    {71, 103}, {72, 104}, {73, 105},
    {75, 100}, {76, 101}, {77, 102},
    {79, 97}, {80, 98}, {81, 99},
    {82, 96},
    {83, 110},  // decimal separator
    {96, 13},   // Enter
};

namespace detail {
constexpr std::array<std::uint8_t, 256> NativeScanCodeTable()
{
    std::array<std::uint8_t, 256> table{};
    for (const auto &entry : ScanCodeTable)
        table[entry.evdev + NativeScanCodeOffset] = entry.virtualKey;
    return table;
}

constexpr bool ScanCodesAreUnique()
{
    for (const auto &a : ScanCodeTable) {
        if (a.evdev == 0 || a.evdev + NativeScanCodeOffset > 255 || a.virtualKey == 0)
            return false;
        int seen = 0;
        for (const auto &b : ScanCodeTable)
            seen += a.evdev == b.evdev;
        if (seen != 1)
            return false;
    }
    return true;
}
} // namespace detail
static_assert(detail::ScanCodesAreUnique(), "a key position listed twice or out of range");

// The German-layout code of a native scan code; empty for positions the
// program does not know.
std::optional<int> VirtualKeyFromScanCode(std::uint32_t nativeScanCode);

// For events without a scan code: the keys whose identity does not depend
// on the layout (letters, digits, Shift, Ctrl, Alt, comma, period, minus,
// and the named keys around them).
std::optional<int> VirtualKeyFromQtKey(int qtKey);

// The code of the key that a key event reports, by its position when the
// event carries one; empty for a key with no code.
std::optional<int> VirtualKeyOf(const QKeyEvent &event);

} // namespace performance
