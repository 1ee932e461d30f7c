// The MIDI input in the real window: what a keyboard plays goes out
// unchanged, is recorded while recording and lights its key; the "Eingang"
// menu and the stored choice; held notes end when the input goes, and
// "Angehalten" leaves none held.

#include "support/WindowFixture.h"

#include "app/DeviceMenu.h"
#include "common/SettingsFile.h"
#include "app/SpinButtons.h"
#include "midi_out/MidiErrors.h"
#include "recorder/SteadyTimer.h"
#include "support/EventLoop.h"
#include "support/WindowProbe.h"

#include <QAction>
#include <QCheckBox>
#include <QTest>
#include <QToolButton>

#include <algorithm>

using midi_out::TestBackend;
using testing_support::Packed;

namespace {

class InputWindow : public testing_support::WindowFixture {
protected:
    void Start(std::vector<std::string> sources = {"Keys", "Pads"})
    {
        Create({"Synth A", "Port B"}, [sources](TestBackend &b) { b.sources = sources; });
    }
    app::DeviceMenu *Inputs() const { return Control<app::DeviceMenu>("InputMenu"); }
    void Choose(int index)
    {
        emit Inputs()->aboutToShow();
        Inputs()->Item(index)->trigger();
    }
    // Plays into the input and lets the window drain it.
    void Play(std::vector<std::uint8_t> bytes)
    {
        backend->PlayInput(bytes);
        testing_support::ProcessEventsUntil([] { return false; }, 20);
    }
    std::string Stored(const char *key)
    {
        SettleSettings();
        return common::SettingsFile(iniPath).ReadString("InputDevice", key, "-");
    }
};

TEST_F(InputWindow, EachKindOfMessageGoesWhereTheTableSays)
{
    struct Case {
        std::vector<std::uint8_t> bytes;
        bool sentAndRecorded; // as a short message, unchanged
        bool lights;          // key 1 (note 36)
    };
    const std::vector<Case> cases{
        {{0x90, 36, 100}, true, true}, {{0x80, 36, 0}, true, false},  {{0x95, 36, 1}, true, true},
        {{0x95, 36, 0}, true, false},  {{0xA0, 36, 50}, true, false}, {{0xB3, 64, 127}, true, false},
        {{0xC0, 12}, true, false},     {{0xD2, 90}, true, false},     {{0xE1, 0, 64}, true, false},
        {{0xF2, 1, 2}, false, false},  {{0xFE}, false, false},        {{0xF8}, false, false},
        {{0xF0, 0x43, 0x10, 0xF7}, false, false}, // to the device as a long message
    };
    // Where the back end forwards (MIDI thru), it has sent the message, and
    // the window only records it and lights its key.
    for (const bool thru : {false, true}) {
        SCOPED_TRACE(thru ? "the back end forwards" : "the window sends");
        form.reset();
        Create({"Synth A", "Port B"}, [thru](TestBackend &b) {
            b.sources = {"Keys", "Pads"};
            b.forwards = thru;
        });
        Choose(0);
        Control<QToolButton>("SpeedButton1")->click();
        for (const Case &c : cases) {
            backend->ClearCalls();
            Probe(*form).RecordingStream().Clear();
            const std::size_t forwardedBefore = backend->Forwarded().size();
            Play(c.bytes);
            std::uint32_t packed = 0;
            for (std::size_t i = 0; i < c.bytes.size(); ++i)
                packed |= std::uint32_t{c.bytes[i]} << (8 * i);
            SCOPED_TRACE(packed);
            const bool goesOn = c.sentAndRecorded || c.bytes[0] == 0xF0;
            EXPECT_EQ(Sent(), c.sentAndRecorded && !thru ? std::vector<std::uint32_t>{packed}
                                                         : std::vector<std::uint32_t>{});
            EXPECT_EQ(backend->Forwarded().size() - forwardedBefore, thru && goesOn ? 1u : 0u);
            EXPECT_EQ(Probe(*form).RecordingStream().Size(), c.sentAndRecorded ? 7u : 0u);
            EXPECT_EQ(Probe(*form).Key(1)->IsSounding(), c.lights);
            EXPECT_EQ(backend->SentLongMessages().size(), c.bytes[0] == 0xF0 && !thru ? 1u : 0u);
        }
    }
}

TEST_F(InputWindow, TheKeyLitIsTheNoteLessTheTranspositionAndTheMouseLeavesItAlone)
{
    Start();
    Choose(0);
    Control<app::SpinButtons>("UpDown2")->SetPosition(12);
    Play({0x90, 60, 90}); // key 8 has note 48
    performance::PianoKey *key = Probe(*form).Key(8);
    EXPECT_TRUE(key->IsSounding());
    backend->ClearCalls();
    QTest::mouseClick(key, Qt::LeftButton, Qt::NoModifier, QPoint(key->width() / 2, key->height() - 4));
    Probe(*form).PollKeyboard();
    EXPECT_TRUE(Sent().empty());
    EXPECT_TRUE(key->IsSounding());
    Control<app::SpinButtons>("UpDown2")->SetPosition(0);
    Play({0x80, 60, 0}); // the transposition changed meanwhile
    EXPECT_TRUE(key->IsSilent());
}

TEST_F(InputWindow, NotesHeldEndWhenTheInputClosesTheDeviceChangesOrTheProgramEnds)
{
    for (const auto &end : std::vector<std::function<void()>>{
             [this] { Choose(-1); }, [this] { Choose(1); }, [this] { form->SelectDevice(1); },
             [this] { form.reset(); }}) {
        Start();
        Choose(0);
        for (const auto &message : std::vector<std::vector<std::uint8_t>>{
                 {0x90, 36, 100}, {0x93, 40, 100}, {0x93, 41, 100}, {0x83, 41, 0}})
            Play(message);
        std::vector<std::uint32_t> sent; // the back end goes with the window
        backend->observer = [&sent](const TestBackend::Call &call) {
            if (call.op == TestBackend::Op::ShortMessage)
                sent.push_back(call.value);
        };
        end();
        std::sort(sent.begin(), sent.end());
        EXPECT_EQ(sent, (std::vector<std::uint32_t>{Packed(0x80, 36, 0), Packed(0x83, 40, 0)}));
        if (form) {
            EXPECT_TRUE(Probe(*form).Key(1)->IsSilent());
            backend->observer = nullptr;
        }
        form.reset();
    }
}

TEST_F(InputWindow, AngehaltenAndAFailingDeviceDarkenTheInputsKeysAndLaterNoteOffsOnlyPassThrough)
{
    Start();
    Choose(0);
    Play({0x90, 36, 100});
    Control<QToolButton>("SpeedButton3")->click();
    EXPECT_TRUE(Probe(*form).Key(1)->IsSilent());
    backend->ClearCalls();
    Play({0x80, 36, 0});
    EXPECT_EQ(Sent(), std::vector<std::uint32_t>{Packed(0x80, 36, 0)});
    EXPECT_TRUE(Probe(*form).Key(1)->IsSilent());
    // A device that takes no Note Off is shown once and left all the same.
    Play({0x90, 36, 100});
    backend->failures[TestBackend::Op::ShortMessage] = midi_out::MIDIERR_SENDFAILED;
    form->SelectDevice(1);
    EXPECT_EQ(messages.size(), 1u);
    EXPECT_EQ(Probe(*form).MidiOut().DeviceID(), 1);
    EXPECT_TRUE(Probe(*form).Key(1)->IsSilent());
}

TEST_F(InputWindow, TheChoiceIsStoredAndFoundByNameAtTheNextStartOrKeptWhenMissing)
{
    Start();
    emit Inputs()->aboutToShow();
    std::vector<std::string> items;
    for (QAction *item : Inputs()->actions())
        items.push_back(item->text().toStdString());
    EXPECT_EQ(items, (std::vector<std::string>{"Kein Eingang", "Pads", "Keys"}));
    Choose(1);
    EXPECT_EQ(Stored("Name") + Stored("ID"), "Pads1");
    // The list read anew renumbers the open source without closing it.
    backend->sources = {"New", "Keys", "Pads"};
    emit Inputs()->aboutToShow();
    EXPECT_EQ(Probe(*form).MidiIn().InputID(), 2);
    EXPECT_EQ(Stored("ID"), "2");
    EXPECT_TRUE(backend->CallsOf(TestBackend::Op::CloseInput).empty());
    form.reset();

    Start({"Pads"});
    EXPECT_EQ(Probe(*form).MidiIn().InputID(), 0);
    EXPECT_EQ(Stored("ID"), "0");
    EXPECT_TRUE(Inputs()->Item(0)->isChecked());
    form.reset();

    Start({"Keys"});
    EXPECT_FALSE(Probe(*form).MidiIn().IsOpen());
    EXPECT_EQ(Stored("Name") + Stored("ID"), "Pads0");
    EXPECT_TRUE(Inputs()->Item(-1)->isChecked());
    EXPECT_TRUE(messages.empty());
    Choose(-1);
    EXPECT_EQ(IniText().indexOf("[InputDevice]"), -1);
}

TEST_F(InputWindow, ASourceThatGoesIsToldOnceItsNotesEndAndItCanBeChosenAgain)
{
    Start();
    Choose(0);
    Play({0x90, 36, 100});
    backend->ClearCalls();
    backend->LoseSources();
    testing_support::ProcessEventsUntil([&] { return !messages.empty(); });
    Play({});
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text.toStdString(), "Der MIDI-Eingang ist nicht mehr verfügbar.");
    EXPECT_EQ(Sent(), std::vector<std::uint32_t>{Packed(0x80, 36, 0)});
    EXPECT_TRUE(Inputs()->Item(-1)->isChecked());
    EXPECT_EQ(Stored("Name"), "Keys");
    Choose(0);
    Play({0x90, 38, 100});
    EXPECT_TRUE(Probe(*form).Key(2)->IsSounding());
}

// One server carries the input and the device: when it ends, one message
// names both, the sends that fail after it tell nothing new, and the first
// choice of the device opens it.
TEST_F(InputWindow, AServerThatEndsIsToldOnceForInputAndDeviceAndTheDeviceOpensAtOnceAgain)
{
    Start();
    Choose(0);
    Play({0x90, 36, 100});
    backend->LoseOpenDevices(midi_out::MIDIERR_PORTGONE);
    backend->LoseSources();
    testing_support::ProcessEventsUntil([&] { return !messages.empty(); });
    Play({});
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, QStringLiteral("Der MIDI-Eingang und das MIDI-Gerät „Synth A“ sind nicht mehr verfügbar."));
    EXPECT_TRUE(Probe(*form).Key(1)->IsSilent());
    QTest::mouseClick(Probe(*form).Key(2), Qt::LeftButton);
    {
        // Checked as the drums are while they play, without the user's act
        // that would rearm the gate.
        const QSignalBlocker quiet(Control<QCheckBox>("CheckBox1"));
        Control<QCheckBox>("CheckBox1")->setChecked(true);
    }
    emit Control<recorder::SteadyTimer>("DrumTimer")->Timeout();
    EXPECT_EQ(messages.size(), 1u) << "the device's failure was told with the input's";

    // The server is back: the device chosen again opens with no message.
    const std::size_t opened = backend->CallsOf(TestBackend::Op::Open).size();
    form->SelectDevice(0);
    EXPECT_EQ(messages.size(), 1u);
    EXPECT_EQ(backend->CallsOf(TestBackend::Op::Open).size(), opened + 1);
    EXPECT_EQ(Probe(*form).MidiOut().State(), midi_out::dsOpen);
}

} // namespace
