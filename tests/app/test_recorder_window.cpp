// The transport buttons, the 50 ms clock and the drum accompaniment through
// the main window, time driven by firing the timers' signals by hand.

#include "support/WindowFixture.h"

#include "common/SettingsFile.h"
#include "app/DeviceMenu.h"
#include "app/SpinButtons.h"
#include "support/WindowProbe.h"

#include <QCheckBox>
#include <QTest>
#include <QAction>
#include <QToolButton>

using midi_out::TestBackend;
using recorder::TransportState;
using testing_support::Packed;

namespace {

using Messages = std::vector<std::uint32_t>;

Messages Cat(std::initializer_list<Messages> parts)
{
    Messages all;
    for (const auto &part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

class RecorderWindow : public testing_support::WindowFixture {
protected:
    void SetUp() override
    {
        WindowFixture::SetUp();
        WriteIni("[Common]\nInstrument=5\n");
        Create();
        // What re-selecting the stored instrument sends: the transport must
        // send exactly that wherever it re-selects it.
        backend->ClearCalls();
        Probe(*form).SelectInstrument(5);
        Instrument = Taken();
    }

    void Clock(int ticks = 1)
    {
        for (int i = 0; i < ticks; ++i)
            emit Control<recorder::SteadyTimer>("ClockTimer")->Timeout();
    }
    void Drum() { emit Control<recorder::SteadyTimer>("DrumTimer")->Timeout(); }

    // Sent messages since the last call.
    std::vector<std::uint32_t> Taken()
    {
        auto sent = Sent();
        backend->ClearCalls();
        return sent;
    }

    bool DrumsStored()
    {
        SettleSettings();
        return common::SettingsFile(iniPath).ReadBool("Common", "Drums", true);
    }

    // The recording as (tick, packed message) pairs.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> Recorded()
    {
        auto &stream = Probe(*form).RecordingStream();
        std::vector<std::pair<std::uint32_t, std::uint32_t>> events;
        stream.Seek(0, recorder::SeekOrigin::Begin);
        while (const auto event = stream.ReadEvent())
            events.emplace_back(event->tick, Packed(event->status, event->data1, event->data2));
        return events;
    }

    Messages Instrument;
};

TEST_F(RecorderWindow, ButtonsAreTheTransportStateAndRunTheirActionEvenWhenDown)
{
    Control<QToolButton>("SpeedButton1")->click();
    EXPECT_EQ(Probe(*form).Transport().State(), TransportState::Recording);
    EXPECT_EQ(Taken(), Instrument);
    Control<QToolButton>("SpeedButton1")->click();
    EXPECT_EQ(Taken(), Instrument);
    Control<QToolButton>("SpeedButton2")->click();
    EXPECT_EQ(Probe(*form).Transport().State(), TransportState::Playing);
    Control<QToolButton>("SpeedButton3")->click();
    EXPECT_EQ(Probe(*form).Transport().State(), TransportState::Stopped);
    Control<QToolButton>("SpeedButton3")->click();
    // Each Stop silences the device in place.
    EXPECT_EQ(backend->CallsOf(TestBackend::Op::Silence).size(), 2u);
    EXPECT_TRUE(backend->CallsOf(TestBackend::Op::Close).empty());
    EXPECT_TRUE(backend->CallsOf(TestBackend::Op::Open).empty());
    EXPECT_TRUE(Control<QToolButton>("SpeedButton3")->isChecked());
    EXPECT_FALSE(Control<QToolButton>("SpeedButton1")->isChecked() || Control<QToolButton>("SpeedButton2")->isChecked());
}

TEST_F(RecorderWindow, RecordedKeysPlayBackAtTheirTicks)
{
    Control<QToolButton>("SpeedButton1")->click();
    Clock(2);
    QTest::mousePress(Probe(*form).Key(24), Qt::LeftButton);
    Clock(3);
    QTest::mouseRelease(Probe(*form).Key(24), Qt::LeftButton);
    Control<QToolButton>("SpeedButton2")->click();
    Taken();

    // The stream runs out right after the last event: playback ends on its
    // tick, the instrument sent once more and the tick not counted.
    const Messages perTick[] = {Instrument, {}, {Packed(0x90, 60, 127)}, {}, {},
                                Cat({{Packed(0x80, 60, 0)}, Instrument})};
    for (const auto &expected : perTick) {
        EXPECT_TRUE(Control<QToolButton>("SpeedButton2")->isChecked());
        Clock();
        EXPECT_EQ(Taken(), expected) << "tick " << Probe(*form).CurrentTick();
    }
    EXPECT_TRUE(Control<QToolButton>("SpeedButton3")->isChecked());
    EXPECT_EQ(Probe(*form).CurrentTick(), 5);
    EXPECT_TRUE(backend->CallsOf(TestBackend::Op::Silence).empty()) << "end of playback is no Stop";
}

TEST_F(RecorderWindow, FailedSendDuringPlaybackIsShownOnceAndPlaybackGoesOn)
{
    auto &stream = Probe(*form).RecordingStream();
    stream.WriteEvent({0, 0x90, 60, 100});
    stream.WriteEvent({0, 0x90, 62, 100});
    stream.WriteEvent({1, 0x90, 64, 100});
    Control<QToolButton>("SpeedButton2")->click();
    Taken();

    backend->failures[TestBackend::Op::ShortMessage] = midi_out::MIDIERR_UNSPECIFIED;
    Clock();
    Taken();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].caption, QStringLiteral("MIDI Sonoret"));
    EXPECT_EQ(Probe(*form).CurrentTick(), 0);
    EXPECT_TRUE(Control<QToolButton>("SpeedButton2")->isChecked());

    backend->failures.clear();
    Clock();
    EXPECT_EQ(Taken(), Messages{Packed(0x90, 62, 100)}) << "the failed event is not retried";
    EXPECT_EQ(Probe(*form).CurrentTick(), 1);
    Clock();
    // The end of playback ends the notes it started; the failed one never sounded.
    EXPECT_EQ(Taken(), Cat({{Packed(0x90, 64, 100), Packed(0x80, 62, 0), Packed(0x80, 64, 0)}, Instrument}));
    EXPECT_EQ(messages.size(), 1u);
}

TEST_F(RecorderWindow, FailedCloseInStopIsShownAndLeavesTheDeviceAlone)
{
    Control<QToolButton>("SpeedButton1")->click();
    backend->LoseOpenDevices(midi_out::MIDIERR_PORTGONE); // not silenced in place
    backend->failures[TestBackend::Op::Close] = midi_out::MIDIERR_INVALHANDLE;
    backend->ClearCalls();
    Control<QToolButton>("SpeedButton3")->click();
    EXPECT_EQ(messages.size(), 1u);
    EXPECT_TRUE(Control<QToolButton>("SpeedButton3")->isChecked());
    EXPECT_FALSE(Probe(*form).IsRecording());
    EXPECT_TRUE(backend->CallsOf(TestBackend::Op::Open).empty());
}

TEST_F(RecorderWindow, DrumsFollowTheCheckBoxAndTheTempo)
{
    struct Case { int tempo, ms; };
    for (const Case c : {Case{120, 250}, Case{300, 100}, Case{7, 4285}, Case{1, 30000}}) {
        Control<app::SpinButtons>("UpDown1")->SetPosition(c.tempo);
        EXPECT_EQ(Control<recorder::SteadyTimer>("DrumTimer")->Interval(), c.ms) << c.tempo;
    }
    Control<QCheckBox>("CheckBox1")->setChecked(true);
    EXPECT_TRUE(Control<recorder::SteadyTimer>("DrumTimer")->IsActive());
    EXPECT_TRUE(DrumsStored());
    Control<QCheckBox>("CheckBox1")->setChecked(false);
    EXPECT_FALSE(Control<recorder::SteadyTimer>("DrumTimer")->IsActive());
    EXPECT_FALSE(DrumsStored());
}

TEST_F(RecorderWindow, DrumPatternContinuesAcrossSwitchingOffAndOn)
{
    Control<QCheckBox>("CheckBox1")->setChecked(true);
    Drum();
    Drum();
    Control<QCheckBox>("CheckBox1")->setChecked(false);
    Control<QCheckBox>("CheckBox1")->setChecked(true);
    Taken();
    Drum(); // step 2: snare and hi-hat
    EXPECT_EQ(Taken(), (Messages{Packed(0x89, 40, 0), Packed(0x99, 40, 127), Packed(0x89, 42, 0),
                                 Packed(0x99, 42, 64)}));
    EXPECT_EQ(Probe(*form).CurrentDrumStep(), 3);
}

TEST_F(RecorderWindow, DrumHitsAreRecordedAtTheFiringTick)
{
    Control<QCheckBox>("CheckBox1")->setChecked(true);
    Control<QToolButton>("SpeedButton1")->click();
    Clock(3);
    Drum(); // step 0: bass and hi-hat
    std::vector<std::pair<std::uint32_t, std::uint32_t>> expected;
    for (const auto message : Instrument)
        expected.emplace_back(0, message);
    for (const auto message : {Packed(0x89, 36, 0), Packed(0x99, 36, 127), Packed(0x89, 42, 0),
                               Packed(0x99, 42, 64)})
        expected.emplace_back(3, message);
    EXPECT_EQ(Recorded(), expected);
}

TEST_F(RecorderWindow, PlaySwitchesTheDrumsOffAndStillPlaysRecordedDrums)
{
    Control<QCheckBox>("CheckBox1")->setChecked(true);
    Control<QToolButton>("SpeedButton1")->click();
    Drum();
    Taken();
    Control<QToolButton>("SpeedButton2")->click();
    EXPECT_FALSE(Control<QCheckBox>("CheckBox1")->isChecked());
    EXPECT_FALSE(Control<recorder::SteadyTimer>("DrumTimer")->IsActive());
    EXPECT_FALSE(DrumsStored());
    // Switching the drums off ended the drum notes they had on.
    const Messages drumsEnded{Packed(0x89, 36, 0), Packed(0x89, 42, 0)};
    EXPECT_EQ(Taken(), Cat({drumsEnded, Instrument}));
    Clock();
    // The take was closed with Note Offs for the drum notes it left on.
    EXPECT_EQ(Taken(), Cat({Instrument,
                            {Packed(0x89, 36, 0), Packed(0x99, 36, 127), Packed(0x89, 42, 0),
                             Packed(0x99, 42, 64), Packed(0x89, 36, 0), Packed(0x89, 42, 0)},
                            Instrument})) << "and the stream is exhausted";
}

// Drum sounds that hold until their Note Off (open hi-hats, loops) end with
// the accompaniment, however it ends; the device silenced by "Angehalten"
// holds none of them any more.
TEST_F(RecorderWindow, TheDrumsEndTheNotesTheyHaveOnWhenSwitchedOff)
{
    const auto box = [this] { Control<QCheckBox>("CheckBox1")->setChecked(false); };
    struct Case {
        const char *how;
        std::function<void()> before;
        std::function<void()> off;
        bool ends; // the notes of the last step get their Note Offs
    };
    const Case cases[] = {
        {"the box", [] {}, box, true},
        {"Angehalten, then the box", [this] { Control<QToolButton>("SpeedButton3")->click(); }, box, false},
        {"another device", [] {}, [this] { form->SelectDevice(1); }, true},
        {"quitting", [] {}, [this] { form.reset(); }, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.how);
        Control<QCheckBox>("CheckBox1")->setChecked(true);
        Taken();
        Drum();
        Messages ended;
        for (const std::uint32_t message : Taken())
            if ((message & 0xFF) == 0x99)
                ended.push_back(Packed(0x89, static_cast<std::uint8_t>(message >> 8), 0));
        ASSERT_FALSE(ended.empty());
        c.before();
        std::vector<std::uint32_t> sent; // the back end goes with the window
        backend->observer = [&sent](const TestBackend::Call &call) {
            if (call.op == TestBackend::Op::ShortMessage)
                sent.push_back(call.value);
        };
        c.off();
        EXPECT_EQ(sent, c.ends ? ended : Messages{});
        if (form)
            backend->observer = nullptr;
    }
}

TEST_F(RecorderWindow, TheClockRunsOnlyWhileRecordingPlayingOrAccompanying)
{
    const auto click = [this](const char *button) {
        return [this, button] { Control<QToolButton>(button)->click(); };
    };
    const auto drums = [this](bool on) {
        return [this, on] { Control<QCheckBox>("CheckBox1")->setChecked(on); };
    };
    const struct {
        const char *step;
        std::function<void()> act;
        bool runs;
    } steps[] = {
        {"Aufnahme", click("SpeedButton1"), true},
        {"Angehalten", click("SpeedButton3"), false},
        {"drums on", drums(true), true},
        {"Aufnahme over the drums", click("SpeedButton1"), true},
        {"Angehalten, the drums go on", click("SpeedButton3"), true},
        {"drums off", drums(false), false},
        {"drums on", drums(true), true},
        {"Wiedergabe switches the drums off", click("SpeedButton2"), true},
        {"the take has run out", [this] { Clock(); }, false},
    };
    EXPECT_FALSE(Control<recorder::SteadyTimer>("ClockTimer")->IsActive());
    for (const auto &step : steps) {
        step.act();
        EXPECT_EQ(Control<recorder::SteadyTimer>("ClockTimer")->IsActive(), step.runs) << step.step;
    }
    EXPECT_TRUE(Control<QToolButton>("SpeedButton3")->isChecked());
}

} // namespace

// A device lost while the drums or a playback run (a port unplugged, a
// server gone): every timer call that tries to send shows one message, the
// timers go on, and "Angehalten" or choosing the device again in the device
// menu brings the sound back.
class LostDevice : public RecorderWindow {
protected:
    enum class Recovery { Stop, DeviceMenu };

    void Lose() { backend->LoseOpenDevices(midi_out::MIDIERR_PORTGONE); }

    // Fires `handler` `times` times while the device stays lost: the first
    // call that tried to send shows one message, the others none, so the
    // user can still reach the window. Returns how many calls tried.
    int FireWhileLost(const std::function<void()> &handler, int times)
    {
        const std::size_t shown = messages.size();
        int failed = 0;
        for (int i = 0; i < times; ++i) {
            handler();
            failed += !Taken().empty();
        }
        EXPECT_EQ(messages.size() - shown, failed > 0 ? 1u : 0u);
        for (const auto &message : messages) {
            EXPECT_EQ(message.caption, QStringLiteral("MIDI Sonoret"));
            EXPECT_EQ(message.text, QStringLiteral("The MIDI port is no longer available."));
        }
        EXPECT_TRUE(Control<recorder::SteadyTimer>("ClockTimer")->IsActive());
        return failed;
    }

    void Recover(Recovery recovery)
    {
        if (recovery == Recovery::Stop) {
            Control<QToolButton>("SpeedButton3")->click();
            // Before the instrument, the Note Offs of a playback, tried on the lost device.
            const Messages sent = Taken();
            ASSERT_GE(sent.size(), Instrument.size());
            EXPECT_EQ(Messages(sent.end() - static_cast<std::ptrdiff_t>(Instrument.size()), sent.end()), Instrument);
        } else {
            auto *menu = form->findChild<app::DeviceMenu *>(QStringLiteral("DeviceMenu"));
            emit menu->aboutToShow();
            menu->Item(Probe(*form).MidiOut().DeviceID())->trigger();
        }
    }

    // Sends since the last call, each on a device open now.
    Messages TakenOnOpenDevices()
    {
        const auto open = backend->OpenHandles();
        for (const auto &call : backend->CallsOf(TestBackend::Op::ShortMessage))
            EXPECT_NE(std::find(open.begin(), open.end(), call.handle), open.end());
        return Taken();
    }
};

TEST_F(LostDevice, DrumsShowOneMessageUntilTheUserActsAndPlayTheirStepAgainOnceRecovered)
{
    for (const Recovery recovery : {Recovery::Stop, Recovery::DeviceMenu}) {
        SCOPED_TRACE(recovery == Recovery::Stop ? "Angehalten" : "device menu");
        messages.clear();
        Control<QCheckBox>("CheckBox1")->setChecked(true);
        Taken();
        // What each step of the pattern sends on a working device.
        std::vector<Messages> steps(4);
        for (int i = 0; i < 4; ++i) {
            const int step = Probe(*form).CurrentDrumStep() % 4;
            Drum();
            steps[step] = Taken();
        }
        Lose();
        const std::uint8_t step = Probe(*form).CurrentDrumStep();
        EXPECT_EQ(FireWhileLost([this] { Drum(); Clock(); }, 3), 3);
        EXPECT_EQ(Probe(*form).CurrentDrumStep(), step) << "a step that failed is not counted";
        EXPECT_TRUE(Control<recorder::SteadyTimer>("DrumTimer")->IsActive());
        EXPECT_TRUE(Control<QCheckBox>("CheckBox1")->isChecked());
        // The user toggles the drums: the failure, still there, shows once more.
        Control<QCheckBox>("CheckBox1")->setChecked(false);
        Control<QCheckBox>("CheckBox1")->setChecked(true);
        EXPECT_EQ(FireWhileLost([this] { Drum(); }, 3), 3);

        Recover(recovery);
        Taken();
        Drum();
        EXPECT_EQ(TakenOnOpenDevices(), steps[step % 4]);
        EXPECT_EQ(messages.size(), 2u);
        Control<QCheckBox>("CheckBox1")->setChecked(false);
    }
}

TEST_F(LostDevice, PlaybackShowsOneMessageWhileItFailsAndPlaysOnOnceRecovered)
{
    auto &stream = Probe(*form).RecordingStream();
    for (std::uint32_t tick = 0; tick < 40; ++tick)
        stream.WriteEvent({tick, 0x90, static_cast<std::uint8_t>(30 + tick), 100});
    for (const Recovery recovery : {Recovery::Stop, Recovery::DeviceMenu}) {
        SCOPED_TRACE(recovery == Recovery::Stop ? "Angehalten" : "device menu");
        messages.clear();
        Control<QToolButton>("SpeedButton2")->click();
        Taken();
        Clock();
        EXPECT_EQ(Taken(), Messages{Packed(0x90, 30, 100)});
        Lose();
        EXPECT_GE(FireWhileLost([this] { Clock(); }, 6), 3);
        EXPECT_TRUE(Control<QToolButton>("SpeedButton2")->isChecked()) << "playback goes on";

        Recover(recovery);
        if (recovery == Recovery::Stop) {
            EXPECT_TRUE(Control<QToolButton>("SpeedButton3")->isChecked());
            Control<QToolButton>("SpeedButton2")->click();
            Taken();
            Clock();
            EXPECT_EQ(TakenOnOpenDevices(), Messages{Packed(0x90, 30, 100)}) << "played from the start";
        } else {
            // The playback went on meanwhile: the next due note plays.
            const std::int32_t tick = Probe(*form).CurrentTick();
            Clock(2);
            const auto sent = TakenOnOpenDevices();
            ASSERT_FALSE(sent.empty());
            EXPECT_EQ(sent.back(), Packed(0x90, static_cast<std::uint8_t>(30 + tick + 1), 100));
        }
        EXPECT_TRUE(Control<QToolButton>("SpeedButton2")->isChecked());
        const std::size_t shown = messages.size();
        Control<QToolButton>("SpeedButton3")->click();
        EXPECT_EQ(messages.size(), shown);
    }
}
