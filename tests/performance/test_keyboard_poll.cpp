#include "support/KeyboardFixture.h"
#include "support/WindowProbe.h"

#include <QApplicationStateChangeEvent>
#include <QLineEdit>

using performance::PressedColor;
using performance::SilentColor;
using testing_support::KeyA;
using testing_support::KeyGermanY;
using testing_support::KeyQ;
using testing_support::LeftShift;
using testing_support::PcKey;
using testing_support::Packed;
using testing_support::RightShift;

namespace {

using Messages = std::vector<std::uint32_t>;

using PcKeyboard = testing_support::KeyboardFixture;

TEST_F(PcKeyboard, AHeldKeySoundsOnceHoweverLongItRepeats)
{
    CreateWithAssignment();
    Post(QEvent::KeyPress, KeyA);
    ASSERT_TRUE(RunUntilIdle());
    EXPECT_EQ(Sent(), (Messages{Packed(0x90, 37, 127)}));
    EXPECT_EQ(Probe(*form).Key(13)->OutlineColor(), PressedColor);

    // A poll may fall between the two halves of a repeat.
    for (int i = 0; i < 3; ++i) {
        Post(QEvent::KeyRelease, KeyA, true);
        ASSERT_TRUE(RunUntilIdle());
        Post(QEvent::KeyPress, KeyA, true);
        ASSERT_TRUE(RunUntilIdle());
    }
    EXPECT_EQ(Sent().size(), 1u);

    Post(QEvent::KeyRelease, KeyA);
    ASSERT_TRUE(RunUntilIdle());
    EXPECT_EQ(Sent(), (Messages{Packed(0x90, 37, 127), Packed(0x80, 37, 0)}));
    EXPECT_EQ(Probe(*form).Key(13)->OutlineColor(), SilentColor);
    EXPECT_TRUE(messages.empty());
}

// The note of a press need not wait for the loop to go idle: delivering the
// posted events (the press, then the pass it posts) is enough.
TEST_F(PcKeyboard, APressPlaysBeforeTheLoopGoesIdle)
{
    CreateWithAssignment();
    Post(QEvent::KeyPress, KeyA);
    QCoreApplication::sendPostedEvents();
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(Sent(), (Messages{Packed(0x90, 37, 127)}));
    Post(QEvent::KeyRelease, KeyA);
    ASSERT_TRUE(RunUntilIdle());
}

TEST_F(PcKeyboard, TwoKeysAtOnceAndThePositionNotTheLayoutDecides)
{
    CreateWithAssignment();
    // Qt::Key_Z as a US layout reports it, at the German Y position.
    Press({KeyGermanY.evdev, Qt::Key_Z});
    Press(KeyQ);
    Poll();
    // The walk goes from the last entry to the first: Q (entry 22) before Y (entry 2).
    EXPECT_EQ(Sent(), (Messages{Packed(0x90, 57, 127), Packed(0x90, 38, 127)}));
    Release(KeyQ);
    Poll();
    Release({KeyGermanY.evdev, Qt::Key_Z});
    Poll();
    EXPECT_EQ(Sent(), (Messages{Packed(0x90, 57, 127), Packed(0x90, 38, 127),
                                Packed(0x80, 57, 0), Packed(0x80, 38, 0)}));
}

TEST_F(PcKeyboard, EitherShiftPlaysTheShiftKeyUntilBothAreUp)
{
    CreateWithAssignment();
    Press(LeftShift);
    Press(RightShift);
    Poll();
    Release(RightShift);
    Poll();
    EXPECT_EQ(Sent(), (Messages{Packed(0x90, 55, 127)}));
    Release(LeftShift);
    Poll();
    EXPECT_EQ(Sent(), (Messages{Packed(0x90, 55, 127), Packed(0x80, 55, 0)}));
}

TEST_F(PcKeyboard, LosingTheKeyboardEndsEveryHeldNote)
{
    CreateWithAssignment();
    Press(KeyA);
    Press(KeyQ);
    Poll();
    ASSERT_EQ(Sent().size(), 2u);
    QApplicationStateChangeEvent inactive(Qt::ApplicationInactive);
    QCoreApplication::sendEvent(qApp, &inactive);
    Poll();
    EXPECT_EQ(Sent(), (Messages{Packed(0x90, 57, 127), Packed(0x90, 37, 127),
                                Packed(0x80, 57, 0), Packed(0x80, 37, 0)}));
    // The releases went to another program; they change nothing here.
    Release(KeyA);
    Release(KeyQ);
    Poll();
    EXPECT_EQ(Sent().size(), 4u);
}

TEST_F(PcKeyboard, AKeyWhoseReleaseNeverCameEndsWhenTheWindowLosesTheKeyboard)
{
    CreateWithAssignment();
    Post(QEvent::KeyPress, KeyA);
    ASSERT_TRUE(RunUntilIdle());
    QCoreApplication::postEvent(form.get(), new QEvent(QEvent::WindowDeactivate));
    ASSERT_TRUE(RunUntilIdle());
    EXPECT_EQ(Sent(), (Messages{Packed(0x90, 37, 127), Packed(0x80, 37, 0)}));
    EXPECT_EQ(Probe(*form).Key(13)->OutlineColor(), SilentColor);
}

TEST_F(PcKeyboard, AFaultyKeyMapIsReportedOnceWithoutAKeyBeingPressed)
{
    WriteIni("[Keys]\nabc=22\n81=24\n");
    CreateWithAssignment();
    ASSERT_TRUE(RunUntilIdle());
    ASSERT_TRUE(RunUntilIdle());
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].text.startsWith(QStringLiteral("'abc' ist kein gültiger Integerwert. ([Keys] abc in ")));
}

TEST_F(PcKeyboard, KeysTypedIntoAnotherWindowOfOursPlayNothing)
{
    CreateWithAssignment();
    QLineEdit fileName; // as in a file dialog over the window
    Press(KeyA, false, &fileName);
    Poll();
    EXPECT_TRUE(Sent().empty());
    Release(KeyA, false, &fileName);

    // A key held when such a window takes the keyboard ends its note.
    Press(KeyQ);
    Poll();
    ASSERT_EQ(Sent(), (Messages{Packed(0x90, 57, 127)}));
    QEvent deactivate(QEvent::WindowDeactivate);
    QCoreApplication::sendEvent(form.get(), &deactivate);
    Poll();
    EXPECT_EQ(Sent(), (Messages{Packed(0x90, 57, 127), Packed(0x80, 57, 0)}));
}

TEST_F(PcKeyboard, TheMouseHeldKeyIsLeftAlone)
{
    CreateWithAssignment();
    auto *key = Probe(*form).Key(13);
    Probe(*form).Player().KeyMouseDown(*key, 0);
    Press(KeyA);
    Poll();
    Release(KeyA);
    Poll();
    EXPECT_EQ(Sent(), (Messages{Packed(0x90, 37, 127)}));
    EXPECT_EQ(key->OutlineColor(), PressedColor);
    Probe(*form).Player().KeyMouseUp(*key);
    Press(KeyA);
    Poll();
    EXPECT_EQ(Sent(), (Messages{Packed(0x90, 37, 127), Packed(0x80, 37, 0), Packed(0x90, 37, 127)}));
}

TEST_F(PcKeyboard, TwoCodesForOneKeyStartAndStopItOnEveryPass)
{
    // The later code (81, Q) is down, the earlier one (65, A) is up.
    WriteIni("[Keys]\n65=13\n81=13\n");
    CreateWithAssignment();
    Press(KeyQ);
    Poll();
    Poll();
    EXPECT_EQ(Sent(), (Messages{Packed(0x90, 37, 127), Packed(0x80, 37, 0),
                                Packed(0x90, 37, 127), Packed(0x80, 37, 0)}));
}

TEST_F(PcKeyboard, KeyMapComesFromTheFileInFileOrder)
{
    WriteIni("[Keys]\n81=0\n65=13\n82=x=22\n83=43\n84=abc\n");
    CreateWithAssignment();
    EXPECT_EQ(Probe(*form).KeyCodes(), (QStringList{"81", "65", "82", "83", "84"}));
    ASSERT_EQ(Probe(*form).KeyNumbers().size(), 5);
    EXPECT_EQ(Probe(*form).KeyNumbers()[0], "0");
    EXPECT_EQ(Probe(*form).KeyNumbers()[2], "22");
    // Numbers that name no key are skipped without a word.
    for (PcKey key : {KeyQ, PcKey{19, Qt::Key_R}, PcKey{31, Qt::Key_S}, PcKey{20, Qt::Key_T}})
        Press(key);
    Poll();
    EXPECT_EQ(Sent(), (Messages{Packed(0x90, 57, 127)})); // R plays Key22
    EXPECT_TRUE(messages.empty());
}

TEST_F(PcKeyboard, AnEmptyListGivesTheDefaultMap)
{
    for (const char *text : {"", "[Keys]\n", "[keys]\n[Common]\nBeat=100\n"}) {
        WriteIni(text);
        CreateWithAssignment();
        EXPECT_EQ(Probe(*form).KeyCodes(), performance::DefaultKeyCodeList()) << text;
        EXPECT_EQ(Probe(*form).KeyNumbers(), performance::DefaultKeyNumberList()) << text;
        EXPECT_FALSE(IniText().contains("226")) << "the defaults are not written";
        form.reset();
        assignment.reset();
    }
}

TEST_F(PcKeyboard, ACodeThatIsNoNumberIsReportedOnceWithWhereItStandsAndDropped)
{
    WriteIni("[Keys]\n65=13\nabc=22\n81=24\n999999999999=1\n");
    CreateWithAssignment();
    // Told at start-up, each entry with its section, key and file.
    const QString file = QString::fromStdString(iniPath);
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].caption, QStringLiteral("MIDI Sonoret"));
    EXPECT_EQ(messages[0].text, QStringLiteral("'abc' ist kein gültiger Integerwert. ([Keys] abc in %1)").arg(file));
    EXPECT_EQ(messages[1].text,
              QStringLiteral("'999999999999' ist kein gültiger Integerwert. ([Keys] 999999999999 in %1)").arg(file));
    EXPECT_EQ(Probe(*form).KeyCodes(), (QStringList{"65", "81"}));
    EXPECT_EQ(Probe(*form).KeyNumbers(), (QStringList{"13", "24"}));

    Press(KeyA);
    Press(KeyQ);
    Poll();
    Poll();
    EXPECT_EQ(Sent(), (Messages{Packed(0x90, 60, 127), Packed(0x90, 37, 127)}));
    EXPECT_EQ(messages.size(), 2u) << "not told again on a pass";
}

TEST_F(PcKeyboard, AFailedNoteOnIsShownOnceAndTheKeyCountsAsReleased)
{
    CreateWithAssignment();
    backend->failures[midi_out::TestBackend::Op::ShortMessage] = midi_out::MIDIERR_NOAUDIO;
    // The key's release never comes: the box took the keyboard.
    Press(KeyA);
    Poll();
    EXPECT_EQ(messages.size(), 1u);
    for (int pass = 0; pass < 3; ++pass)
        Poll();
    EXPECT_EQ(backend->CallsOf(midi_out::TestBackend::Op::ShortMessage).size(), 1u) << "not sent again";
    // Pressed again on the same failing device: tried, not shown again.
    Release(KeyA);
    Press(KeyA);
    Poll();
    EXPECT_EQ(backend->CallsOf(midi_out::TestBackend::Op::ShortMessage).size(), 2u);
    EXPECT_EQ(messages.size(), 1u);
    EXPECT_EQ(Probe(*form).Key(13)->OutlineColor(), SilentColor);

    // Once the device takes a message, its next failure is told anew.
    backend->failures.clear();
    Release(KeyA);
    Press(KeyA);
    Poll();
    EXPECT_EQ(Probe(*form).Key(13)->OutlineColor(), PressedColor);
    backend->failures[midi_out::TestBackend::Op::ShortMessage] = midi_out::MIDIERR_NOAUDIO;
    Press(KeyQ);
    Poll();
    EXPECT_EQ(messages.size(), 2u);
    EXPECT_TRUE(form->close()) << "the window closes";
}

} // namespace

namespace {

TEST_F(PcKeyboard, StartingAnAssignmentEndsTheNotesOfHeldKeys)
{
    CreateWithAssignment();
    Press(KeyA);
    Poll();
    form->StartKeyAssignment();
    Poll();
    EXPECT_EQ(Sent(), (Messages{Packed(0x90, 37, 127), Packed(0x80, 37, 0)}));
    EXPECT_EQ(Probe(*form).Key(13)->OutlineColor(), SilentColor);
}

} // namespace
