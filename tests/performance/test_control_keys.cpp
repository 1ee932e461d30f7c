// The keys that steer the playing (the space bar as sustain pedal, Page Up
// and Page Down as octave keys), the MIDI channel, and the velocity taken
// from where the mouse strikes a key.

#include "support/KeyboardFixture.h"

#include "app/SpinButtons.h"
#include "support/WindowProbe.h"

#include <QAction>
#include <QApplicationStateChangeEvent>
#include <QCheckBox>
#include <QTest>
#include <QToolButton>

using testing_support::KeyA;
using testing_support::Packed;
using testing_support::PcKey;

namespace {

using Messages = std::vector<std::uint32_t>;

constexpr PcKey Space{57, Qt::Key_Space};
constexpr PcKey PageUp{104, Qt::Key_PageUp};
constexpr PcKey PageDown{109, Qt::Key_PageDown};

class ControlKeys : public testing_support::KeyboardFixture {
protected:
    void Down(PcKey key, QObject *to = nullptr)
    {
        Press(key, false, to);
        Poll();
    }
    void Up(PcKey key, QObject *to = nullptr)
    {
        Release(key, false, to);
        Poll();
    }
    void Tap(PcKey key)
    {
        Down(key);
        Up(key);
    }
    void Trigger(const char *item) { form->findChild<QAction *>(QString::fromLatin1(item))->trigger(); }
    Messages Taken()
    {
        auto sent = Sent();
        backend->ClearCalls();
        return sent;
    }
};

TEST_F(ControlKeys, SpaceBarIsTheRecordedPedalAndLeavesTheFocusedCheckBoxAlone)
{
    CreateWithAssignment();
    auto *drums = Control<QCheckBox>("CheckBox1");
    drums->setFocus();
    Control<QToolButton>("SpeedButton1")->click();
    backend->ClearCalls();
    Down(Space, drums);
    Press(Space, true, drums); // auto-repeat
    Up(Space, drums);
    EXPECT_EQ(Taken(), (Messages{Packed(0xB0, 64, 127), Packed(0xB0, 64, 0)}));
    EXPECT_FALSE(drums->isChecked());
    const auto bytes = Probe(*form).RecordingStream().Bytes();
    EXPECT_EQ(std::vector<std::uint8_t>(bytes.end() - 3, bytes.end()), (std::vector<std::uint8_t>{0xB0, 64, 0}));
}

TEST_F(ControlKeys, ControlKeysInTheKeyMapPlayTheirPianoKeys)
{
    WriteIni("[Keys]\n32=5\n33=1\n");
    Create();
    backend->ClearCalls();
    Tap(Space);
    Tap(PageUp);
    EXPECT_EQ(Probe(*form).Transposition(), 0);
    EXPECT_EQ(Taken(), (Messages{Packed(0x90, 43, 127), Packed(0x80, 43, 0), Packed(0x90, 36, 127),
                                 Packed(0x80, 36, 0)}));
}

TEST_F(ControlKeys, HeldPedalGoesUpOnStopOnLosingTheKeyboardAndOnQuitting)
{
    CreateWithAssignment();
    Down(Space);
    Control<QToolButton>("SpeedButton3")->click();
    Poll(); // still held: down again only after a release
    auto sent = Taken();
    ASSERT_GE(sent.size(), 2u);
    EXPECT_EQ(sent[1], Packed(0xB0, 64, 0)) << "up before the device is silenced";
    EXPECT_EQ(std::count(sent.begin(), sent.end(), Packed(0xB0, 64, 127)), 1);

    Up(Space);
    Down(Space);
    QApplicationStateChangeEvent inactive(Qt::ApplicationInactive);
    QCoreApplication::sendEvent(qApp, &inactive);
    Poll();
    EXPECT_EQ(Taken(), (Messages{Packed(0xB0, 64, 127), Packed(0xB0, 64, 0)}));

    Down(Space);
    std::vector<midi_out::TestBackend::Call> atQuit;
    backend->observer = [&atQuit](const midi_out::TestBackend::Call &call) { atQuit.push_back(call); };
    assignment.reset();
    form.reset();
    ASSERT_EQ(atQuit.size(), 2u);
    EXPECT_EQ(atQuit[0].value, Packed(0xB0, 64, 0));
    EXPECT_EQ(atQuit[1].op, midi_out::TestBackend::Op::Close);
}

TEST_F(ControlKeys, PageUpAndDownMoveAnOctaveWithinRangeAndHeldNotesEndAsStarted)
{
    CreateWithAssignment();
    Down(KeyA); // note 37
    Tap(PageUp);
    Up(KeyA);
    EXPECT_EQ(Taken(), (Messages{Packed(0x90, 37, 127), Packed(0x80, 37, 0)}));
    EXPECT_NE(IniText().indexOf("Transposition=12"), -1);

    const struct {
        int from;
        PcKey key;
        int to;
    } moves[] = {{45, PageUp, 51}, {51, PageUp, 51}, {-30, PageDown, -36}, {0, PageDown, -12}};
    for (const auto &move : moves) {
        Control<app::SpinButtons>("UpDown2")->SetPosition(move.from);
        Tap(move.key);
        EXPECT_EQ(Probe(*form).Transposition(), move.to) << move.from;
    }
}

TEST_F(ControlKeys, ChannelCarriesKeysInstrumentAndPedalWhileHeldOnesEndOnTheirOwn)
{
    WriteIni("[Common]\nChannel=5\nInstrument=7\n");
    Create();
    EXPECT_EQ(Sent().back(), Packed(0xC4, 7, 0)) << "start-up Program Change on channel 5";
    backend->ClearCalls();
    Down(KeyA);
    Down(Space);
    Trigger("Kanal3Item");
    Release(KeyA);
    Up(Space);
    Tap(KeyA);
    Control<QCheckBox>("CheckBox1")->setChecked(true);
    emit Control<recorder::SteadyTimer>("DrumTimer")->Timeout();
    const Messages sent = Taken();
    EXPECT_EQ(Messages(sent.begin(), sent.begin() + 7),
              (Messages{Packed(0x94, 37, 127), Packed(0xB4, 64, 127), Packed(0xC2, 7, 0), Packed(0x84, 37, 0),
                        Packed(0xB4, 64, 0), Packed(0x92, 37, 127), Packed(0x82, 37, 0)}));
    for (auto it = sent.begin() + 7; it != sent.end(); ++it)
        EXPECT_EQ(*it & 0x0F, 9u) << "the drums stay on channel 10";
    EXPECT_NE(IniText().indexOf("Channel=3"), -1);
}

TEST_F(ControlKeys, TouchVelocityRunsFromOneAtTheTopToTheSliderAtTheBottom)
{
    EXPECT_EQ(performance::TouchVelocity(0, 130, 131), 1);
    WriteIni("[Common]\nVolume=100\n");
    Create();
    performance::PianoKey *key = Probe(*form).Key(1);
    const auto strike = [&](int y) {
        backend->ClearCalls();
        QTest::mousePress(key, Qt::LeftButton, Qt::NoModifier, QPoint(20, y));
        QTest::mouseRelease(key, Qt::LeftButton, Qt::NoModifier, QPoint(20, y));
        return Sent().front() >> 16;
    };
    EXPECT_EQ(strike(0), 100u) << "off: the slider's velocity";
    Trigger("AnschlagnachMausposition1");
    EXPECT_EQ(strike(0), 1u);
    EXPECT_EQ(strike(key->height() - 1), 100u);
    EXPECT_NE(IniText().indexOf("VelocityByPosition=1"), -1);
}

} // namespace
