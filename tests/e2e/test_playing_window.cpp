// The program as a user plays it: a real X11 window on Xvfb, synthetic mouse
// and key input, and the MIDI bytes as they arrive at a JACK port.

#include "support/HangBound.h"
#include "e2e/PlayingWindow.h"
#include "performance/KeyGeometry.h"

#include <gtest/gtest.h>

#include <X11/keysym.h>

#include <algorithm>
#include <cstdio>
#include <utility>


namespace e2e {
namespace {

using performance::KeyTable;

bool Dark(QRgb pixel) { return qGray(pixel) < 64; }

// The piano keys of a screenshot in their designed places, every designed
// position moved down by `shift` pixels.
void ExpectPianoKeysAt(const QImage &shot, int shift)
{
    const auto dark = [&](int x, int y) { return Dark(shot.pixel(x, y + shift)); };
    const auto light = [&](int x, int y) { return qGray(shot.pixel(x, y + shift)) > 200; };
    for (const auto &key : KeyTable) {
        if (key.black)
            continue;
        // White keys: the 5-pixel outline inside the key's bounds, white
        // inside, found within a pixel of their designed places.
        const int y = key.top + key.height - 20;
        int left = key.left + key.width / 2;
        while (left > 0 && !dark(left - 1, y))
            --left;
        EXPECT_NEAR(left, key.left + key.outlineWidth, 1) << "Key" << key.number;
        EXPECT_TRUE(light(key.left + key.width / 2, y)) << "Key" << key.number;
        EXPECT_TRUE(dark(key.left + key.width / 2, key.top + key.height - 2)) << "Key" << key.number;
        EXPECT_FALSE(dark(key.left + key.width / 2, key.top + key.height + 2)) << "Key" << key.number;
    }
    for (const auto &key : KeyTable) {
        if (!key.black)
            continue;
        // Black keys: black all through, the white key's surface just below.
        EXPECT_TRUE(dark(key.left + key.width / 2, key.top + key.height / 2)) << "Key" << key.number;
        EXPECT_TRUE(dark(key.left + key.width / 2, key.top + key.height - 1)) << "Key" << key.number;
        // Below it, the surface of the white key its left part stands on.
        EXPECT_FALSE(dark(key.left + key.width / 4, key.top + key.height + 3)) << "Key" << key.number;
    }
}

TEST_F(PlayingWindow, ShowsTheDesignedLayout)
{
    ASSERT_NO_FATAL_FAILURE(Start());
    const QImage shot = program->Screenshot();
    ASSERT_TRUE(shot.save(QString::fromStdString(ArtifactPath("main-window.png"))));
    const int menu = program->MenuBarHeight();
    EXPECT_EQ(shot.size(), QSize(679, 345 + menu));

    // Both rows of keys begin at their designed tops.
    EXPECT_EQ(FirstKeyboardRow(shot), 70 + menu);
    EXPECT_FALSE(Dark(shot.pixel(300, 203 + menu))) << "no gap between the rows";
    ExpectPianoKeysAt(shot, menu);
    // The transport buttons (8, 88, 168; 73 wide) stand out from the window's
    // background along their middle row.
    const QRgb background = shot.pixel(4, 44 + menu);
    const auto differs = [&](int x) { return shot.pixel(x, 44 + menu) != background; };
    for (const int left : {8, 88, 168}) {
        int first = left - 5;
        while (first < left + 10 && !differs(first))
            ++first;
        int last = left + 73 + 4;
        while (last > left + 60 && !differs(last))
            --last;
        EXPECT_NEAR(first, left, 1) << "button at " << left;
        EXPECT_NEAR(last, left + 72, 1) << "button at " << left;
    }
}

// The key assignment window, opened through "Synthesizer" > "Tastatur
// einstellen...": the same keys 64 pixels higher, the first one marked blue,
// and the request to type below them.
TEST_F(PlayingWindow, KeyAssignmentWindowShowsTheDesignedLayout)
{
    ASSERT_NO_FATAL_FAILURE(Start());
    const XInput keys(display.Connection());
    keys.Key(keys.KeycodeOf(XK_Alt_L), true);
    keys.Tap(XK_s);
    keys.Key(keys.KeycodeOf(XK_Alt_L), false);
    // Past "Gerät", "Eingang", "Kanal", "Anschlag nach Mausposition", "PC-Tasten anzeigen".
    for (int item = 0; item < 6; ++item)
        keys.Tap(XK_Down);
    keys.Tap(XK_Return);
    const Window window = program->WaitForTopLevel("Tasten zuweisen");
    ASSERT_NE(window, 0u) << "the key assignment window did not show";
    // Painted once it shows keys and two looks in a row find it unchanged.
    QImage shot, last;
    ASSERT_TRUE(PollUntil(
        [&] {
            last = std::exchange(shot, WindowImage(display.Connection(), window));
            return FirstKeyboardRow(shot) >= 0 && shot == last;
        },
        testing_support::kHangBound))
        << "the key assignment window shows no keys";
    ASSERT_TRUE(shot.save(QString::fromStdString(ArtifactPath("key-assignment-window.png"))));
    EXPECT_EQ(shot.size(), QSize(679, 314));

    EXPECT_EQ(FirstKeyboardRow(shot), 70 - 64);
    ExpectPianoKeysAt(shot, -64);
    // The first key to assign has a blue outline, the others black ones.
    const auto &first = KeyTable[0];
    const QRgb marked = shot.pixel(first.left + first.width / 2, first.top - 64 + first.height - 2);
    EXPECT_TRUE(qBlue(marked) > 200 && qRed(marked) < 60 && qGreen(marked) < 60) << std::hex << marked;
    const auto &second = KeyTable[1];
    EXPECT_LT(qBlue(shot.pixel(second.left + second.width / 2, second.top - 64 + second.height - 2)), 64);

    // The request's text: dark pixels only inside the label (9, 288; 660 x
    // 19), centred in it.
    int keysBottom = 0;
    for (const auto &key : KeyTable)
        keysBottom = std::max(keysBottom, key.top + key.height - 64);
    int left = shot.width(), right = -1, top = shot.height(), bottom = -1;
    for (int y = keysBottom; y < shot.height(); ++y)
        for (int x = 0; x < shot.width(); ++x)
            if (Dark(shot.pixel(x, y))) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
    ASSERT_GE(right, 0) << "no text below the keys";
    EXPECT_GE(left, 9);
    EXPECT_LE(right, 9 + 660 - 1);
    EXPECT_GE(top, 288);
    EXPECT_LE(top, 288 + 3) << "the text does not stand at the label's top";
    EXPECT_LE(bottom, 288 + 19 - 1);
    EXPECT_NEAR((left + right) / 2.0, 9 + 660 / 2.0, 2.0);
    std::printf("request text at x %d..%d, y %d..%d\n", left, right, top, bottom);
}

TEST_F(PlayingWindow, ClickedKeysPlayWithTheStoredTranspositionAndVolume)
{
    ASSERT_NO_FATAL_FAILURE(Start("Transposition=5\nVolume=100\n"));
    const XInput mouse(display.Connection());
    struct Case {
        int key;
        int note;
    };
    for (const Case c : {Case{1, 41}, Case{13, 42}, Case{33, 81}, Case{34, 61}}) {
        input->Clear();
        mouse.MoveTo(KeyPoint(c.key));
        mouse.Button(true);
        EXPECT_EQ(WaitForNotes(1), std::vector<Bytes>{On(c.note, 100)}) << "Key" << c.key;
        mouse.Button(false);
        EXPECT_EQ(WaitForNotes(1), (std::vector<Bytes>{On(c.note, 100), Off(c.note)})) << "Key" << c.key;
    }
    EXPECT_EQ(SettledNotes(), (std::vector<Bytes>{On(61, 100), Off(61)}));
}

// A high-density screen: twice the size in every direction, and the keys'
// edges still sharp (no blended pixels where a black outline meets a white
// key) at twice their designed places.
TEST_F(PlayingWindow, KeepsItsProportionsAndSharpEdgesAtScaleFactor2)
{
    ASSERT_NO_FATAL_FAILURE(Start({}, {{"QT_SCALE_FACTOR", "2"}}));
    const QImage shot = program->Screenshot();
    ASSERT_TRUE(shot.save(QString::fromStdString(ArtifactPath("main-window-scale-2.png"))));
    ASSERT_EQ(shot.width(), 2 * 679);
    const int menu = (shot.height() - 2 * 345) / 2;
    EXPECT_GT(menu, 0);
    EXPECT_EQ(shot.height(), 2 * (345 + menu));

    EXPECT_NEAR(FirstKeyboardRow(shot), 2 * (70 + menu), 2);
    for (const auto &key : KeyTable) {
        if (key.black)
            continue;
        const int y = 2 * (key.top + key.height - 20 + menu);
        int blended = 0;
        int left = 2 * (key.left + key.width / 2);
        while (left > 0 && qGray(shot.pixel(left - 1, y)) >= 64) {
            blended += qGray(shot.pixel(left - 1, y)) <= 200;
            --left;
        }
        EXPECT_NEAR(left, 2 * (key.left + key.outlineWidth), 2) << "Key" << key.number;
        EXPECT_EQ(blended, 0) << "Key" << key.number << ": blurred edge";
    }
}

// Generous bound: it catches a path that waits for a timer instead of
// sending at once, not a slow machine.
constexpr double DelayBoundMs = 40.0;

TEST_F(PlayingWindow, MousePressToArrivalDelay)
{
    ASSERT_NO_FATAL_FAILURE(Start());
    const XInput mouse(display.Connection());
    mouse.MoveTo(KeyPoint(1));
    constexpr int Presses = 20;
    const DelayFigures figures = PressToArrival([&](bool down) { mouse.Button(down); }, On(36, 127), Presses);
    Report("mouse", figures, Presses);
    EXPECT_LT(figures.medianMs, DelayBoundMs);
}

} // namespace
} // namespace e2e
