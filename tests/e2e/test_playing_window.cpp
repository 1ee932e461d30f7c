// The program as a user plays it: a real X11 window on Xvfb, synthetic mouse
// and key input, and the MIDI bytes as they arrive at a JACK port.

#include "e2e/PlayingWindow.h"
#include "performance/KeyGeometry.h"

#include <gtest/gtest.h>


namespace e2e {
namespace {

using performance::KeyTable;

TEST_F(PlayingWindow, ShowsTheDesignedLayout)
{
    Start();
    const QImage shot = program->Screenshot();
    ASSERT_TRUE(shot.save(QString::fromStdString(ArtifactPath("main-window.png"))));
    const int menu = program->MenuBarHeight();
    EXPECT_EQ(shot.size(), QSize(679, 345 + menu));

    const auto dark = [&](int x, int y) { return qGray(shot.pixel(x, y + menu)) < 64; };
    const auto light = [&](int x, int y) { return qGray(shot.pixel(x, y + menu)) > 200; };
    // Both rows of keys begin at their designed tops.
    EXPECT_EQ(FirstKeyboardRow(shot), 70 + menu);
    EXPECT_FALSE(dark(300, 203)) << "no gap between the rows";
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

TEST_F(PlayingWindow, ClickedKeysPlayWithTheStoredTranspositionAndVolume)
{
    Start("Transposition=5\nVolume=100\n");
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
    Start({}, {{"QT_SCALE_FACTOR", "2"}});
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
    Start();
    const XInput mouse(display.Connection());
    mouse.MoveTo(KeyPoint(1));
    constexpr int Presses = 20;
    const DelayFigures figures = PressToArrival([&](bool down) { mouse.Button(down); }, On(36, 127), Presses);
    Report("mouse", figures, Presses);
    EXPECT_LT(figures.medianMs, DelayBoundMs);
}

} // namespace
} // namespace e2e
