#include "support/KeyboardFixture.h"
#include "support/WindowProbe.h"

#include <QAction>
#include <QLabel>
#include <QTest>

using performance::PressedColor;
using performance::SilentColor;
using testing_support::KeyA;
using testing_support::KeyQ;
using testing_support::PcKey;
using testing_support::Packed;

namespace {

class KeyAssignment : public testing_support::KeyboardFixture {
protected:
    void SetUp() override
    {
        KeyboardFixture::SetUp();
        WriteIni("[Common]\nVolume=100\n[Keys]\n65=1\n");
        CreateWithAssignment();
        // As the user starts it: "Synthesizer" -> "Tastatur einstellen...".
        auto *item = form->findChild<QAction *>(QStringLiteral("Tastatureinstellen1"));
        ASSERT_NE(item, nullptr);
        ASSERT_EQ(item->text(), QStringLiteral("Tastatur einstellen..."));
        item->trigger();
        ASSERT_TRUE(assignment->isVisible());
    }

    // A press and its release; auto-repeats come as more presses before the release.
    void Type(PcKey key, int repeats = 0)
    {
        Press(key, false, assignment.get());
        for (int i = 0; i < repeats; ++i)
            Press(key, true, assignment.get());
        Release(key, false, assignment.get());
    }

    int CursorKeysInBlue() const
    {
        int blue = 0;
        for (int n = 1; n <= performance::KeyCount; ++n)
            blue += assignment->Key(n)->OutlineColor() == PressedColor;
        return blue;
    }
};

TEST_F(KeyAssignment, WindowLayout)
{
    EXPECT_EQ(assignment->windowTitle(), QStringLiteral("Tasten zuweisen"));
    EXPECT_EQ(assignment->size(), QSize(679, 314));
    EXPECT_EQ(assignment->minimumSize(), assignment->maximumSize());
    EXPECT_EQ(assignment->Key(1)->geometry(), QRect(9, 142, 56, 131));
    EXPECT_EQ(assignment->Key(22)->geometry(), QRect(9, 6, 56, 131));
    EXPECT_EQ(assignment->Label1->geometry(), QRect(9, 288, 660, 19));
    EXPECT_TRUE(assignment->Label1->alignment() & Qt::AlignHCenter);
    EXPECT_TRUE(assignment->Key(5)->testAttribute(Qt::WA_TransparentForMouseEvents));
}

TEST_F(KeyAssignment, StartErasesTheMapAndMarksTheFirstKey)
{
    EXPECT_TRUE(Probe(*form).KeyCodes().isEmpty());
    EXPECT_TRUE(Probe(*form).KeyNumbers().isEmpty());
    EXPECT_FALSE(IniText().contains("[Keys]"));
    EXPECT_TRUE(IniText().contains("Volume=100"));
    EXPECT_EQ(assignment->AssignmentCursor(), 1);
    EXPECT_EQ(assignment->Key(1)->OutlineColor(), PressedColor);
    EXPECT_EQ(CursorKeysInBlue(), 1);
}

TEST_F(KeyAssignment, FiveKeysThenCloseLeaveExactlyThoseFive)
{
    const PcKey typed[] = {{16, Qt::Key_Q}, {17, Qt::Key_W}, {18, Qt::Key_E}, {19, Qt::Key_R},
                           {20, Qt::Key_T}};
    for (const auto &key : typed)
        Type(key);
    EXPECT_EQ(assignment->AssignmentCursor(), 6);
    EXPECT_EQ(assignment->Key(6)->OutlineColor(), PressedColor);
    EXPECT_EQ(CursorKeysInBlue(), 1);

    assignment->close();
    EXPECT_EQ(Probe(*form).KeyCodes(), (QStringList{"81", "87", "69", "82", "84"}));
    EXPECT_EQ(Probe(*form).KeyNumbers(), (QStringList{"1", "2", "3", "4", "5"}));
    EXPECT_TRUE(IniText().contains("[Keys]\n81=1\n87=2\n69=3\n82=4\n84=5\n"));

    // The new map plays at once: W on Key2 (note 38), A on nothing.
    Press({17, Qt::Key_W});
    Press(KeyA);
    Probe(*form).PollKeyboard();
    EXPECT_EQ(Sent(), (std::vector<std::uint32_t>{Packed(0x90, 38, 100)}));
}

TEST_F(KeyAssignment, ClosingBeforeAnyKeyLeavesNoMapUntilTheNextStart)
{
    assignment->close();
    EXPECT_TRUE(Probe(*form).KeyCodes().isEmpty());
    Press(KeyA);
    Probe(*form).PollKeyboard();
    EXPECT_TRUE(Sent().empty());

    assignment.reset();
    form.reset();
    CreateWithAssignment();
    EXPECT_EQ(Probe(*form).KeyCodes(), performance::DefaultKeyCodeList());
}

TEST_F(KeyAssignment, AnAutoRepeatingKeyKeepsOnlyTheLastPianoKeyItReached)
{
    Type(KeyQ);
    Type(KeyA, 2);
    Type({42, Qt::Key_Shift}); // Shift is a key like any other
    assignment->close();
    EXPECT_EQ(Probe(*form).KeyCodes(), (QStringList{"81", "65", "16"}));
    EXPECT_EQ(Probe(*form).KeyNumbers(), (QStringList{"1", "4", "5"}));
}

TEST_F(KeyAssignment, TheFortySecondKeyClosesTheWindow)
{
    // Tab and Ctrl are taken like letters, not as focus moves or shortcuts.
    for (int i = 0; i < 41; ++i)
        Type(i % 2 ? PcKey{15, Qt::Key_Tab} : PcKey{29, Qt::Key_Control});
    EXPECT_TRUE(assignment->isVisible());
    EXPECT_EQ(assignment->Key(42)->OutlineColor(), PressedColor);
    Type(KeyQ);
    EXPECT_FALSE(assignment->isVisible());
    EXPECT_EQ(CursorKeysInBlue(), 0);
    EXPECT_EQ(Probe(*form).KeyCodes(), (QStringList{"17", "9", "81"}));
    EXPECT_EQ(Probe(*form).KeyNumbers(), (QStringList{"41", "40", "42"}));
}

TEST_F(KeyAssignment, AStartWhileOpenBeginsAgainAtKeyOne)
{
    Type(KeyQ);
    Type(KeyA);
    form->StartKeyAssignment();
    EXPECT_EQ(assignment->AssignmentCursor(), 1);
    EXPECT_TRUE(Probe(*form).KeyCodes().isEmpty());
    EXPECT_FALSE(IniText().contains("[Keys]"));
}

// "Standardbelegung" after an assignment cut short: the window closes, the
// default map plays and is stored in place of the part assigned.
TEST_F(KeyAssignment, DefaultKeyMapComesBackAndIsStored)
{
    Type(KeyQ); // one key assigned, then the user gives up
    auto *item = form->findChild<QAction *>(QStringLiteral("Standardbelegung1"));
    ASSERT_NE(item, nullptr);
    item->trigger();
    EXPECT_FALSE(assignment->isVisible());
    EXPECT_EQ(Probe(*form).KeyCodes(), performance::DefaultKeyCodeList());
    SettleSettings();
    const common::SettingsFile stored(iniPath);
    const auto codes = stored.ReadSection("Keys");
    ASSERT_EQ(codes.size(), performance::KeyCount);
    for (std::size_t i = 0; i < performance::KeyCount; ++i)
        EXPECT_EQ(stored.ReadInteger("Keys", std::to_string(performance::DefaultKeyCodes[i]), -1),
                  performance::DefaultKeyNumbers[i])
            << performance::DefaultKeyCodes[i];
}

} // namespace
