#include "support/WindowFixture.h"

#include "app/SpinButtons.h"
#include "support/WindowProbe.h"

#include <QDialog>
#include <QSlider>
#include <QTest>
#include <QToolButton>

using midi_out::TestBackend;
using performance::PianoKey;
using performance::PressedColor;
using performance::SilentColor;
using testing_support::Packed;

namespace {

class MouseOnKeys : public testing_support::WindowFixture {
protected:
    void SetUp() override
    {
        WindowFixture::SetUp();
        Create();
        backend->ClearCalls();
    }

    void Press(PianoKey *key, Qt::MouseButton button = Qt::LeftButton)
    {
        QTest::mousePress(key, button, Qt::NoModifier, QPoint(key->width() / 2, key->height() - 4));
    }
    void Release(PianoKey *key, Qt::MouseButton button = Qt::LeftButton)
    {
        QTest::mouseRelease(key, button, Qt::NoModifier, QPoint(key->width() / 2, key->height() - 4));
    }

    // Through the window, so that Qt itself picks the key under the pointer.
    void ShowWindow()
    {
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    }
    QPoint InWindow(QPoint clientPoint) const { return Control<QWidget>("Client")->mapTo(form.get(), clientPoint); }
};

TEST_F(MouseOnKeys, PressStartsTheNoteAndReleaseStopsIt)
{
    PianoKey *key = Probe(*form).Key(1);
    Press(key);
    EXPECT_EQ(Sent(), (std::vector<std::uint32_t>{Packed(0x90, 36, 127)}));
    EXPECT_EQ(key->OutlineColor(), PressedColor);
    EXPECT_EQ(Probe(*form).MouseHeldKey(), key);

    Release(key);
    EXPECT_EQ(Sent(), (std::vector<std::uint32_t>{Packed(0x90, 36, 127), Packed(0x80, 36, 0)}));
    EXPECT_EQ(key->OutlineColor(), SilentColor);
    EXPECT_EQ(Probe(*form).MouseHeldKey(), nullptr);
    EXPECT_TRUE(messages.empty());
}

TEST_F(MouseOnKeys, AModalBoxEndsTheMouseHeldNoteWhoseReleaseItTakes)
{
    ShowWindow();
    PianoKey *key = Probe(*form).Key(3);
    Press(key);
    QDialog box(form.get());
    box.setModal(true);
    box.show(); // a message box of ours, opened while the button is down
    EXPECT_EQ(Sent(), (std::vector<std::uint32_t>{Packed(0x90, key->Note(), 127), Packed(0x80, key->Note(), 0)}));
    EXPECT_EQ(key->OutlineColor(), SilentColor);
    EXPECT_EQ(Probe(*form).MouseHeldKey(), nullptr);
    box.hide();
}

TEST_F(MouseOnKeys, EveryButtonPlays)
{
    for (auto button : {Qt::RightButton, Qt::MiddleButton}) {
        backend->ClearCalls();
        Press(Probe(*form).Key(24), button);
        EXPECT_EQ(Probe(*form).Key(24)->OutlineColor(), PressedColor);
        Release(Probe(*form).Key(24), button);
        EXPECT_EQ(Sent(), (std::vector<std::uint32_t>{Packed(0x90, 60, 127), Packed(0x80, 60, 0)}))
            << "button " << button;
    }
}

TEST_F(MouseOnKeys, BlackKeyOverAWhiteKeyGetsTheClick)
{
    ShowWindow();
    backend->ClearCalls();
    // Key13 (note 37) lies over the upper part of Key1 and Key2.
    const QPoint overlap = InWindow(QPoint(60, 230));
    QTest::mousePress(form->windowHandle(), Qt::LeftButton, Qt::NoModifier, overlap);
    QTest::mouseRelease(form->windowHandle(), Qt::LeftButton, Qt::NoModifier, overlap);
    EXPECT_EQ(Sent(), (std::vector<std::uint32_t>{Packed(0x90, 37, 127), Packed(0x80, 37, 0)}));

    // Below the black keys the white key gets it.
    backend->ClearCalls();
    const QPoint whitePart = InWindow(QPoint(60, 320));
    QTest::mousePress(form->windowHandle(), Qt::LeftButton, Qt::NoModifier, whitePart);
    QTest::mouseRelease(form->windowHandle(), Qt::LeftButton, Qt::NoModifier, whitePart);
    EXPECT_EQ(Sent(), (std::vector<std::uint32_t>{Packed(0x90, 36, 127), Packed(0x80, 36, 0)}));
}

TEST_F(MouseOnKeys, ReleaseElsewhereStopsTheHeldKey)
{
    ShowWindow();
    backend->ClearCalls();
    QTest::mousePress(form->windowHandle(), Qt::LeftButton, Qt::NoModifier, InWindow(QPoint(30, 320)));
    QTest::mouseMove(form->windowHandle(), InWindow(QPoint(400, 320)));
    QTest::mouseRelease(form->windowHandle(), Qt::LeftButton, Qt::NoModifier, InWindow(QPoint(400, 320)));
    EXPECT_EQ(Sent(), (std::vector<std::uint32_t>{Packed(0x90, 36, 127), Packed(0x80, 36, 0)}));
    EXPECT_EQ(Probe(*form).Key(1)->OutlineColor(), SilentColor);
    EXPECT_EQ(Probe(*form).Key(8)->OutlineColor(), SilentColor);
}

TEST_F(MouseOnKeys, KeyAlreadySoundingSendsNothingOnPressAndNoteOffOnRelease)
{
    PianoKey *key = Probe(*form).Key(5);
    Probe(*form).Player().StartNote(key->Number(), performance::KeySource::PcKey); // as the PC keyboard does
    backend->ClearCalls();

    Press(key);
    EXPECT_TRUE(Sent().empty());
    EXPECT_EQ(Probe(*form).MouseHeldKey(), key);
    EXPECT_EQ(key->OutlineColor(), PressedColor);

    Release(key);
    EXPECT_EQ(Sent(), (std::vector<std::uint32_t>{Packed(0x80, 43, 0)}));
    EXPECT_EQ(key->OutlineColor(), SilentColor);
}

TEST_F(MouseOnKeys, BothNarrowKeysSoundNote56)
{
    for (int number : {21, 34}) {
        backend->ClearCalls();
        Press(Probe(*form).Key(number));
        Release(Probe(*form).Key(number));
        EXPECT_EQ(Sent(), (std::vector<std::uint32_t>{Packed(0x90, 56, 127), Packed(0x80, 56, 0)}))
            << "Key" << number;
    }
}

TEST_F(MouseOnKeys, TranspositionRangeReachesNote0And127)
{
    Control<app::SpinButtons>("UpDown2")->SetPosition(-36);
    backend->ClearCalls();
    Press(Probe(*form).Key(1));
    Release(Probe(*form).Key(1));
    Control<app::SpinButtons>("UpDown2")->SetPosition(51);
    Press(Probe(*form).Key(33));
    Release(Probe(*form).Key(33));
    EXPECT_EQ(Sent(), (std::vector<std::uint32_t>{Packed(0x90, 0, 127), Packed(0x80, 0, 0),
                                                  Packed(0x90, 127, 127), Packed(0x80, 127, 0)}));
}

TEST_F(MouseOnKeys, VolumeIsTheVelocityEvenAtZero)
{
    Control<QSlider>("TrackBar1")->setValue(0);
    Press(Probe(*form).Key(10));
    Control<QSlider>("TrackBar1")->setValue(90);
    Press(Probe(*form).Key(11));
    EXPECT_EQ(Sent(), (std::vector<std::uint32_t>{Packed(0x90, 52, 0), Packed(0x90, 53, 90)}));
}

TEST_F(MouseOnKeys, FailedSendLeavesTheOutlineAndIsShownOnce)
{
    backend->failures[TestBackend::Op::ShortMessage] = midi_out::MIDIERR_SENDFAILED;
    PianoKey *key = Probe(*form).Key(3);
    Press(key);
    EXPECT_EQ(key->OutlineColor(), SilentColor);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].caption, QStringLiteral("MIDI Sonoret"));
    EXPECT_EQ(messages[0].text, QStringLiteral("The MIDI port did not accept the message."));

    // The release finds the key silent: nothing more to send or show.
    Release(key);
    EXPECT_EQ(messages.size(), 1u);
    EXPECT_EQ(Probe(*form).MouseHeldKey(), nullptr);
    EXPECT_EQ(backend->CallsOf(TestBackend::Op::ShortMessage).size(), 1u);
}

TEST_F(MouseOnKeys, FailedNoteOffKeepsTheKeyBlueUntilARetrySucceeds)
{
    PianoKey *key = Probe(*form).Key(7);
    Press(key);
    backend->failures[TestBackend::Op::ShortMessage] = midi_out::MIDIERR_SENDFAILED;
    Release(key);
    EXPECT_EQ(key->OutlineColor(), PressedColor);
    EXPECT_EQ(messages.size(), 1u);

    backend->failures.clear();
    backend->ClearCalls();
    Press(key);
    Release(key);
    EXPECT_EQ(Sent(), (std::vector<std::uint32_t>{Packed(0x80, 47, 0)}));
    EXPECT_EQ(key->OutlineColor(), SilentColor);
}

TEST_F(MouseOnKeys, NoteOffNamesTheNoteOfItsNoteOnAfterATranspositionChange)
{
    PianoKey *key = Probe(*form).Key(8); // note 48
    Press(key);
    Control<app::SpinButtons>("UpDown2")->SetPosition(5);
    Release(key);
    EXPECT_EQ(Sent(), (std::vector<std::uint32_t>{Packed(0x90, 48, 127), Packed(0x80, 48, 0)}));

    // The next press uses the new transposition.
    backend->ClearCalls();
    Press(key);
    Release(key);
    EXPECT_EQ(Sent(), (std::vector<std::uint32_t>{Packed(0x90, 53, 127), Packed(0x80, 53, 0)}));
}

TEST_F(MouseOnKeys, DoubleClickPlaysTheKeyAgain)
{
    PianoKey *key = Probe(*form).Key(2);
    Press(key);
    Release(key);
    // The second press of a fast double click comes as a double-click event.
    QTest::mouseDClick(key, Qt::LeftButton, Qt::NoModifier, QPoint(5, 100));
    Release(key);
    EXPECT_EQ(Sent(), (std::vector<std::uint32_t>{Packed(0x90, 38, 127), Packed(0x80, 38, 0),
                                                  Packed(0x90, 38, 127), Packed(0x80, 38, 0)}));
}

class NoteRecording : public testing_support::WindowFixture {
protected:
    void SetUp() override
    {
        WindowFixture::SetUp();
        Create();
    }
};

TEST_F(NoteRecording, OnlyTheRecordingStateAppendsRecords)
{
    Probe(*form).Notes().SendNote(0x90, 60, 100);
    Control<QToolButton>("SpeedButton2")->click();
    Probe(*form).Notes().SendNote(0x90, 61, 100);
    EXPECT_EQ(Probe(*form).RecordingStream().Size(), 0u);

    Control<QToolButton>("SpeedButton1")->click();
    Probe(*form).RecordingStream().Clear(); // past the instrument that starts every recording
    Probe(*form).SetCurrentTick(0x01020304);
    Probe(*form).Notes().SendNote(0xC0, 42, 0);
    const std::vector<std::uint8_t> expected{0x04, 0x03, 0x02, 0x01, 0xC0, 42, 0};
    EXPECT_EQ(Probe(*form).RecordingStream().Bytes(), expected);
}

TEST_F(NoteRecording, AFailedSendRecordsNothing)
{
    Control<QToolButton>("SpeedButton1")->click();
    Probe(*form).RecordingStream().Clear(); // past the instrument that starts every recording
    backend->failures[TestBackend::Op::ShortMessage] = midi_out::MIDIERR_SENDFAILED;
    EXPECT_THROW(Probe(*form).Notes().SendNote(0x90, 60, 100), midi_out::EmidioutputError);
    EXPECT_EQ(Probe(*form).RecordingStream().Size(), 0u);
}

TEST_F(NoteRecording, KeysPlayedWhileRecordingAreRecordedAtTheCurrentTick)
{
    Control<QToolButton>("SpeedButton1")->click();
    Probe(*form).RecordingStream().Clear(); // past the instrument that starts every recording
    QTest::mousePress(Probe(*form).Key(24), Qt::LeftButton);
    Probe(*form).ClockTick();
    Probe(*form).ClockTick();
    QTest::mouseRelease(Probe(*form).Key(24), Qt::LeftButton);
    const std::vector<std::uint8_t> expected{0, 0, 0, 0, 0x90, 60, 127, 2, 0, 0, 0, 0x80, 60, 0};
    EXPECT_EQ(Probe(*form).RecordingStream().Bytes(), expected);
}

} // namespace
