// The PC keyboard as a user plays it: keys by their position on a US layout,
// auto-repeat, chords and the focus moving away, in a real X11 window.

#include "e2e/PlayingWindow.h"

#include <gtest/gtest.h>

#include <X11/keysym.h>

#include <algorithm>

namespace e2e {
namespace {

TEST_F(PlayingWindow, PcKeysPlayByTheirPositionOnTheKeyboard)
{
    Start();
    const XInput keys(display.Connection());
    // Xvfb's layout is US: the key right of left Shift is Z there.
    const unsigned z = keys.KeycodeOf(XK_z), x = keys.KeycodeOf(XK_x), c = keys.KeycodeOf(XK_c);
    ASSERT_EQ(z, 52u) << "Xvfb does not use the US layout's key codes";

    keys.Key(z, true);
    EXPECT_EQ(WaitForNotes(1), std::vector<Bytes>{On(38, 127)});
    // Auto-repeat: the key goes down again and again without coming up.
    for (int i = 0; i < 5; ++i)
        keys.Key(z, true);
    keys.Key(z, false);
    EXPECT_EQ(WaitForNotes(1), (std::vector<Bytes>{On(38, 127), Off(38)}));
    EXPECT_EQ(SettledNotes(), (std::vector<Bytes>{On(38, 127), Off(38)})) << "auto-repeat played again";

    // A chord: three keys down together, then up.
    input->Clear();
    keys.Key(z, true);
    keys.Key(x, true);
    keys.Key(c, true);
    auto chord = WaitForNotes(3);
    ASSERT_EQ(chord.size(), 3u);
    std::sort(chord.begin(), chord.end());
    EXPECT_EQ(chord, (std::vector<Bytes>{On(38, 127), On(40, 127), On(41, 127)}));
    keys.Key(z, false);
    keys.Key(x, false);
    keys.Key(c, false);
    auto released = WaitForNotes(3);
    ASSERT_EQ(released.size(), 6u);
    released.erase(released.begin(), released.begin() + 3);
    std::sort(released.begin(), released.end());
    EXPECT_EQ(released, (std::vector<Bytes>{Off(38), Off(40), Off(41)}));
}

TEST_F(PlayingWindow, FocusMovedToAnotherWindowReleasesAHeldKey)
{
    Start();
    const XInput keys(display.Connection());
    const unsigned q = keys.KeycodeOf(XK_q);
    keys.Key(q, true);
    EXPECT_EQ(WaitForNotes(1), std::vector<Bytes>{On(57, 127)});

    const FocusThief other(display.Connection());
    EXPECT_EQ(WaitForNotes(1), (std::vector<Bytes>{On(57, 127), Off(57)}));
    keys.Key(q, false);
    EXPECT_EQ(SettledNotes(), (std::vector<Bytes>{On(57, 127), Off(57)})) << "the release played again";
}

TEST_F(PlayingWindow, PcKeyPressToArrivalDelay)
{
    Start();
    const XInput keys(display.Connection());
    const unsigned z = keys.KeycodeOf(XK_z);
    constexpr int Presses = 20;
    const DelayFigures figures = PressToArrival([&](bool down) { keys.Key(z, down); }, On(38, 127), Presses);
    Report("keyboard", figures, Presses);
    EXPECT_LT(figures.medianMs, 40.0);
}

} // namespace
} // namespace e2e
