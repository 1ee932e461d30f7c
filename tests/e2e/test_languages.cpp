// The program under an English locale: English in the German layout, and
// Qt's own dialogs in English too. (Under the German interface every test
// that saves goes through Qt's German dialog, "Speichern unter".)

#include "support/HangBound.h"
#include "e2e/PlayingWindow.h"

#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/keysym.h>

namespace e2e {
namespace {

TEST_F(PlayingWindow, EnglishLocaleReadsEnglishInTheSameLayout)
{
    ASSERT_NO_FATAL_FAILURE(Start({}, {{"LANG", "en_US.UTF-8"}}));
    const QImage window = program->Screenshot();
    ASSERT_TRUE(window.save(QString::fromStdString(ArtifactPath("main-window-en.png"))));
    const int menu = program->MenuBarHeight();
    EXPECT_EQ(window.size(), QSize(679, 345 + menu));
    EXPECT_EQ(FirstKeyboardRow(window), 70 + menu);

    // The "Recording" menu opens with its English access key, over the window.
    const XInput in(display.Connection());
    in.Key(in.KeycodeOf(XK_Alt_L), true);
    in.Tap(XK_r);
    in.Key(in.KeycodeOf(XK_Alt_L), false);
    const QRect onScreen(program->ScreenPoint({0, 0}) - QPoint(0, menu), window.size());
    Display *x = display.Connection();
    QImage withMenu;
    ASSERT_TRUE(PollUntil(
        [&] {
            withMenu = WindowImage(x, DefaultRootWindow(x)).copy(onScreen);
            return withMenu != window;
        },
        testing_support::kHangBound))
        << "no menu opened on Alt+R";
    PollUntil([] { return false; }, std::chrono::milliseconds(300)); // the popup fully painted
    withMenu = WindowImage(x, DefaultRootWindow(x)).copy(onScreen);
    ASSERT_TRUE(withMenu.save(QString::fromStdString(ArtifactPath("recording-menu-en.png"))));

    // "Save...": Qt's dialog speaks English too.
    in.Tap(XK_s);
    const Window dialog = program->WaitForTopLevel("Save As", testing_support::kHangBound);
    ASSERT_NE(dialog, 0u) << "no English save dialog under \"Recording\" > \"Save...\"";
    ASSERT_TRUE(WaitForFocus(display.Connection(), dialog));
    in.Tap(XK_Escape);
    ExpectCleanEnd(*program);
}

} // namespace
} // namespace e2e
