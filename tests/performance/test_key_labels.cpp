// "PC-Tasten anzeigen": each piano key shows what the keyboard layout prints
// on the PC key that plays it, found by the key's position.

#include "support/KeyboardFixture.h"
#include "support/WindowProbe.h"

#include <QAction>

namespace {

using KeyLabels = testing_support::KeyboardFixture;

TEST_F(KeyLabels, FrenchLayoutShowsItsOwnCharactersAndFollowsANewAssignment)
{
    // Without an X server the layout comes from XKB's environment.
    const QByteArray before = qgetenv("XKB_DEFAULT_LAYOUT");
    qputenv("XKB_DEFAULT_LAYOUT", "fr");
    WriteIni("[Common]\nShowKeyLabels=1\n");
    CreateWithAssignment();
    // The positions of the German Q, Y and 1 print A, W and & in French.
    EXPECT_EQ(Probe(*form).Key(22)->Label(), QStringLiteral("A"));
    EXPECT_EQ(Probe(*form).Key(2)->Label(), QStringLiteral("W"));
    EXPECT_EQ(Probe(*form).Key(34)->Label(), QStringLiteral("&"));

    form->StartKeyAssignment();
    form->AssignKey(81, 7); // the German Q position
    assignment->close();
    EXPECT_EQ(Probe(*form).Key(7)->Label(), QStringLiteral("A"));
    EXPECT_EQ(Probe(*form).Key(22)->Label(), QString()) << "a key with no PC key shows nothing";

    form->findChild<QAction *>(QStringLiteral("PCTastenanzeigen1"))->trigger();
    EXPECT_EQ(Probe(*form).Key(7)->Label(), QString());
    EXPECT_NE(IniText().indexOf("ShowKeyLabels=0"), -1);
    before.isNull() ? qunsetenv("XKB_DEFAULT_LAYOUT") : qputenv("XKB_DEFAULT_LAYOUT", before);
}

TEST_F(KeyLabels, GermanLayoutPrintsCapitalsButKeepsTheSharpS)
{
    const QByteArray before = qgetenv("XKB_DEFAULT_LAYOUT");
    qputenv("XKB_DEFAULT_LAYOUT", "de");
    WriteIni("[Common]\nShowKeyLabels=1\n");
    CreateWithAssignment();
    const struct {
        int keyCode;
        const char16_t *label;
    } keys[]{{219, u"ß"}, {186, u"Ü"}, {81, u"Q"}};
    form->StartKeyAssignment();
    for (int i = 0; i < 3; ++i)
        form->AssignKey(keys[i].keyCode, i + 1);
    assignment->close();
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(Probe(*form).Key(i + 1)->Label(), QString::fromUtf16(keys[i].label)) << keys[i].keyCode;
    before.isNull() ? qunsetenv("XKB_DEFAULT_LAYOUT") : qputenv("XKB_DEFAULT_LAYOUT", before);
}

} // namespace
