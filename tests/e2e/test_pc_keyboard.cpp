// The PC keyboard as a user plays it: keys by their position on a US layout,
// auto-repeat, chords, the focus moving away, and the menus reached by keys,
// in a real X11 window.

#include "e2e/PlayingWindow.h"

#include <gtest/gtest.h>

#include <X11/XKBlib.h>
#include <X11/keysym.h>

#include <algorithm>

namespace e2e {
namespace {

TEST_F(PlayingWindow, PcKeysPlayByTheirPositionOnTheKeyboard)
{
    ASSERT_NO_FATAL_FAILURE(Start());
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

// A key held down for real: the X server repeats it by itself, as a release
// and a press each time unless asked otherwise. Fast repeats give a release
// taken for real many chances to stop and restart the note.
TEST_F(PlayingWindow, AKeyHeldThroughTheServersAutoRepeatPlaysOnce)
{
    ASSERT_NO_FATAL_FAILURE(Start());
    Display *x = display.Connection();
    ASSERT_TRUE(XkbSetAutoRepeatRate(x, XkbUseCoreKbd, 100, 10)) << "no auto-repeat to set";
    XFlush(x);
    const XInput keys(x);
    const unsigned z = keys.KeycodeOf(XK_z);
    keys.Key(z, true);
    EXPECT_EQ(WaitForNotes(1), std::vector<Bytes>{On(38, 127)});
    Hold(std::chrono::seconds(2)); // about 190 repeats
    keys.Key(z, false);
    WaitForNotes(1);
    EXPECT_EQ(SettledNotes(), (std::vector<Bytes>{On(38, 127), Off(38)})) << "auto-repeat restarted the note";
}

TEST_F(PlayingWindow, FocusMovedToAnotherWindowReleasesAHeldKey)
{
    ASSERT_NO_FATAL_FAILURE(Start());
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
    ASSERT_NO_FATAL_FAILURE(Start());
    const XInput keys(display.Connection());
    const unsigned z = keys.KeycodeOf(XK_z);
    constexpr int Presses = 20;
    const DelayFigures figures = PressToArrival([&](bool down) { keys.Key(z, down); }, On(38, 127), Presses);
    Report("keyboard", figures, Presses);
    EXPECT_LT(figures.medianMs, 40.0);
}

bool IsProgramChange(const Bytes &message) { return !message.empty() && (message[0] & 0xF0) == 0xC0; }

// The menus as a keyboard user reaches them: Alt+S opens "Synthesizer", its
// first item "Instrument" opens to the right, and the arrows walk the
// instruments in program order.
TEST_F(PlayingWindow, InstrumentChosenFromTheMenuSendsItsProgramChange)
{
    ASSERT_NO_FATAL_FAILURE(Start("Instrument=0\n"));
    const XInput keys(display.Connection());
    const auto tap = [&](unsigned long keysym) {
        keys.Key(keys.KeycodeOf(keysym), true);
        keys.Key(keys.KeycodeOf(keysym), false);
    };
    input->Clear();
    keys.Key(keys.KeycodeOf(XK_Alt_L), true);
    tap(XK_s);
    keys.Key(keys.KeycodeOf(XK_Alt_L), false);
    tap(XK_Right);
    tap(XK_Down);
    tap(XK_Down);
    tap(XK_Return); // program 2, "Elektrischer Flügel"
    const auto arrived = input->WaitForMore(1, IsProgramChange);
    std::vector<Bytes> programs;
    for (const auto &a : arrived)
        if (IsProgramChange(a.bytes))
            programs.push_back(a.bytes);
    EXPECT_EQ(programs, (std::vector<Bytes>{{0xC0, 2}}));
}

// The space bar is the sustain pedal, not a click on the focused check box
// "Drums-Begleitung"; Page Up moves the keys an octave up.
TEST_F(PlayingWindow, SpaceBarIsThePedalAndPageUpAnOctave)
{
    ASSERT_NO_FATAL_FAILURE(Start());
    const XInput keys(display.Connection());
    const auto isPedal = [](const Bytes &m) { return m.size() == 3 && m[0] == 0xB0 && m[1] == 64; };
    const auto pedal = [&](bool down) {
        keys.Key(keys.KeycodeOf(XK_space), down);
        const auto arrived = input->WaitForMore(1, isPedal);
        return arrived.empty() ? Bytes{} : arrived.back().bytes;
    };
    EXPECT_EQ(pedal(true), (Bytes{0xB0, 64, 127}));
    EXPECT_EQ(pedal(false), (Bytes{0xB0, 64, 0}));

    // Each key held past the window's next look at the keyboard.
    keys.Key(keys.KeycodeOf(XK_Prior), true);
    Hold(std::chrono::milliseconds(150));
    keys.Key(keys.KeycodeOf(XK_Prior), false);
    keys.Key(keys.KeycodeOf(XK_z), true);
    WaitForNotes(1);
    keys.Key(keys.KeycodeOf(XK_z), false);
    WaitForNotes(1);
    EXPECT_EQ(SettledNotes(), (std::vector<Bytes>{On(50, 127), Off(50)})) << "no drums, one octave up";
}

// A player without a mouse: the transport through its Ctrl shortcuts, a
// note from a PC key; the note reaches the port live and again played back,
// and no letter of a shortcut plays.
TEST_F(PlayingWindow, TheKeyboardAloneRecordsStopsAndPlaysBack)
{
    ASSERT_NO_FATAL_FAILURE(Start());
    const XInput keys(display.Connection());
    const unsigned ctrl = keys.KeycodeOf(XK_Control_L), z = keys.KeycodeOf(XK_z);
    const auto shortcut = [&](unsigned long keysym) {
        keys.Key(ctrl, true);
        keys.Tap(keysym);
        keys.Key(ctrl, false);
    };

    // The server hands the program its events in order: the shortcut is
    // taken before the key.
    shortcut(XK_r);
    keys.Key(z, true);
    input->WaitForMore(1, IsNote);
    Hold(std::chrono::milliseconds(200));
    keys.Key(z, false);
    EXPECT_EQ(WaitForNotes(1), (std::vector<Bytes>{On(38, 127), Off(38)}));
    shortcut(XK_period);
    EXPECT_EQ(SettledNotes(), (std::vector<Bytes>{On(38, 127), Off(38)})) << "a shortcut's letter played";

    input->Clear();
    shortcut(XK_p);
    EXPECT_EQ(Notes(input->WaitForTotal(2, IsNote)),
              (std::vector<Bytes>{On(38, 127), Off(38)}));
    EndLeavingTheTakeUnsaved();
}

} // namespace
} // namespace e2e
