// The "Aufnahme" menu's practice items through the main window: the
// metronome, the count-in and repeated playback, time driven by firing the
// timers' signals by hand.

#include "support/WindowFixture.h"

#include "support/AnsweredFileDialogs.h"
#include "performance/PianoKey.h"

#include "common/SettingsFile.h"
#include "support/WindowProbe.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QSlider>
#include <QTest>
#include <QToolButton>

using recorder::TransportState;
using testing_support::Packed;

namespace {

using Messages = std::vector<std::uint32_t>;
using Events = std::vector<std::pair<std::uint32_t, std::uint32_t>>;

Messages Cat(Messages first, const Messages &second)
{
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

constexpr std::uint8_t Velocity = 90;
constexpr std::uint32_t AccentOn = Packed(0x99, 76, Velocity);
constexpr std::uint32_t AccentOff = Packed(0x89, 76, 0);
constexpr std::uint32_t BeatOn = Packed(0x99, 77, Velocity);
constexpr std::uint32_t BeatOff = Packed(0x89, 77, 0);
// Key 24 at the volume.
constexpr std::uint32_t KeyOn = Packed(0x90, 60, Velocity);
constexpr std::uint32_t KeyOff = Packed(0x80, 60, 0);

class Practice : public testing_support::WindowFixture {
protected:
    void SetUp() override
    {
        WindowFixture::SetUp();
        WriteIni("[Common]\nInstrument=5\n");
        Create();
        Control<QSlider>("TrackBar1")->setValue(Velocity);
        backend->ClearCalls();
        Probe(*form).SelectInstrument(5);
        Instrument = Taken();
    }

    void Trigger(const char *item) { Control<QAction>(item)->trigger(); }
    void Click(const char *button) { Control<QToolButton>(button)->click(); }
    void Clock(int ticks = 1)
    {
        for (int i = 0; i < ticks; ++i)
            emit Control<recorder::SteadyTimer>("ClockTimer")->Timeout();
    }
    Messages Drum()
    {
        emit Control<recorder::SteadyTimer>("DrumTimer")->Timeout();
        return Taken();
    }
    bool DrumTimerRuns() { return Control<recorder::SteadyTimer>("DrumTimer")->IsActive(); }
    Messages Taken()
    {
        auto sent = Sent();
        backend->ClearCalls();
        return sent;
    }
    TransportState State() { return Probe(*form).Transport().State(); }

    Events Recorded()
    {
        auto &stream = Probe(*form).RecordingStream();
        Events events;
        stream.Seek(0, recorder::SeekOrigin::Begin);
        while (const auto event = stream.ReadEvent())
            events.emplace_back(event->tick, Packed(event->status, event->data1, event->data2));
        return events;
    }
    void Key(bool down)
    {
        if (down)
            QTest::mousePress(Probe(*form).Key(24), Qt::LeftButton);
        else
            QTest::mouseRelease(Probe(*form).Key(24), Qt::LeftButton);
    }

    Messages Instrument;
};

TEST_F(Practice, CountInClicksOneBarAndTheTakeBeginsOnTheNextBeat)
{
    Trigger("Einzhlen1");
    for (const bool metronome : {false, true}) {
        SCOPED_TRACE(metronome);
        if (metronome)
            Trigger("Metronom1");
        for (int i = 0; i < 8 && metronome; ++i)
            Drum(); // the next firing is a beat; its click still sounds
        Click("SpeedButton1");
        EXPECT_EQ(State(), TransportState::CountingIn);
        EXPECT_TRUE(Control<QToolButton>("SpeedButton1")->isChecked());
        EXPECT_TRUE(DrumTimerRuns());
        EXPECT_EQ(Taken(), Messages{});
        // Firings, two to a beat: four clicks, the first accented; on the
        // fifth beat the take begins, recorded from there.
        const Messages perFiring[] = {metronome ? Messages{BeatOff, AccentOn} : Messages{AccentOn},
                                      {}, {AccentOff, BeatOn}, {}, {BeatOff, BeatOn}, {}, {BeatOff, BeatOn}, {}};
        for (const Messages &expected : perFiring)
            EXPECT_EQ(Drum(), expected);
        Key(true); // sounds, is not recorded
        Key(false);
        EXPECT_EQ(Taken(), (Messages{KeyOn, KeyOff}));
        EXPECT_EQ(State(), TransportState::CountingIn);
        EXPECT_EQ(Drum(), metronome ? Cat(Instrument, {BeatOff, AccentOn}) : Cat({BeatOff}, Instrument));
        EXPECT_EQ(State(), TransportState::Recording);
        EXPECT_EQ(DrumTimerRuns(), metronome);
        Clock(2);
        Key(true);
        Click("SpeedButton3");
        Key(false);
        Events take;
        for (const std::uint32_t message : Instrument)
            take.emplace_back(0, message);
        take.insert(take.end(), {{2, KeyOn}, {2, KeyOff}});
        EXPECT_EQ(Recorded(), take);
    }
}

TEST_F(Practice, AnyOtherTransportActionEndsTheCountInAndRecordsNothing)
{
    Click("SpeedButton1");
    Clock();
    Key(true);
    Key(false);
    Click("SpeedButton3");
    const Events take = Recorded();
    Trigger("Einzhlen1");
    const struct {
        const char *how;
        const char *button;
        TransportState after;
    } cases[] = {{"Angehalten", "SpeedButton3", TransportState::Stopped},
                 {"Wiedergabe", "SpeedButton2", TransportState::Playing}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.how);
        Click("SpeedButton1");
        Drum(); // a click sounds
        Click(c.button);
        EXPECT_EQ(Taken().at(0), AccentOff);
        EXPECT_EQ(State(), c.after);
        EXPECT_FALSE(DrumTimerRuns());
        for (int i = 0; i < 10; ++i)
            EXPECT_EQ(Drum(), Messages{}) << "no count-in goes on";
        EXPECT_EQ(State(), c.after);
        EXPECT_EQ(Recorded(), take);
        Click("SpeedButton3");
    }
}

TEST_F(Practice, RepeatedPlaybackEndsTheNotesLeftSoundingEachRound)
{
    // A take that leaves a note on: made up, as a file may hold one.
    Probe(*form).RecordingStream().WriteEvent({1, 0x90, 62, 100});
    const Messages round{Packed(0x90, 62, 100), Packed(0x80, 62, 0)};
    const struct {
        bool repeat;
        std::vector<Messages> perTick;
        TransportState after;
    } cases[] = {
        {true, {{}, round, {}, round, {}, round}, TransportState::Playing},
        {false, {{}, Cat(round, Instrument)}, TransportState::Stopped},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.repeat);
        if (c.repeat != Control<QAction>("Wiedergabewiederholen1")->isChecked())
            Trigger("Wiedergabewiederholen1");
        Click("SpeedButton2");
        EXPECT_EQ(Taken(), Instrument);
        for (const Messages &expected : c.perTick) {
            Clock();
            EXPECT_EQ(Taken(), expected) << "tick " << Probe(*form).CurrentTick();
        }
        EXPECT_EQ(State(), c.after);
        Click("SpeedButton3");
        Taken();
    }
}

TEST_F(Practice, ClicksAreNeverRecordedAndFallOnTheDrumsBeats)
{
    Control<QCheckBox>("CheckBox1")->setChecked(true);
    Drum(); // the drums' next step is a half beat
    Click("SpeedButton1");
    Trigger("Metronom1");
    const Messages halfBeat = Drum();
    EXPECT_EQ(std::count(halfBeat.begin(), halfBeat.end(), AccentOn), 0);
    const Messages beat = Drum();
    EXPECT_EQ(std::count(beat.begin(), beat.end(), AccentOn), 1);
    Trigger("Metronom1"); // off: the click ends, the drums go on
    EXPECT_EQ(Taken(), Messages{AccentOff});
    EXPECT_TRUE(DrumTimerRuns());
    const Events take = Recorded();
    ASSERT_GT(take.size(), Instrument.size()) << "the drums are recorded";
    for (const auto &[tick, message] : take)
        EXPECT_TRUE(((message >> 8) & 0xFF) != 76 && ((message >> 8) & 0xFF) != 77) << std::hex << message;
}

TEST_F(Practice, TheItemsAreKeptAcrossARestart)
{
    const char *const items[] = {"Metronom1", "Einzhlen1", "Wiedergabewiederholen1"};
    const char *const keys[] = {"Metronome", "CountIn", "RepeatPlayback"};
    for (const bool on : {true, false}) {
        SCOPED_TRACE(on);
        for (const char *item : items)
            Trigger(item);
        SettleSettings();
        form.reset();
        for (const char *key : keys)
            EXPECT_EQ(common::SettingsFile(iniPath).ReadBool("Common", key, !on), on) << key;
        Create();
        for (const char *item : items)
            EXPECT_EQ(Control<QAction>(item)->isChecked(), on) << item;
        EXPECT_EQ(DrumTimerRuns(), on) << "the metronome runs as stored";
    }
}

// Playback lights the keys it plays as the input does; a key the mouse
// holds stays the mouse's; the take's time runs beside the buttons.
TEST_F(Practice, PlaybackLightsItsKeysAndTheTakeTimeRuns)
{
    auto &stream = Probe(*form).RecordingStream();
    for (const recorder::RecordedEvent &event : {recorder::RecordedEvent{1, 0x90, 60, 100}, {1, 0x90, 62, 100},
                                                 {3, 0x80, 60, 0}, {1200, 0x80, 62, 0}})
        stream.WriteEvent(event);
    QLabel *time = Control<QLabel>("TakeTime");
    EXPECT_FALSE(time->isVisibleTo(form.get()));
    Click("SpeedButton2");
    EXPECT_TRUE(time->isVisibleTo(form.get()));
    EXPECT_EQ(time->text(), QStringLiteral("0:00"));
    QTest::mousePress(Probe(*form).Key(25), Qt::LeftButton); // note 62, before playback plays it
    const struct {
        int ticks;
        bool lit24, lit25; // keys of notes 60 and 62
        const char *time;
    } steps[] = {{2, true, true, "0:00"}, {2, false, true, "0:00"}, {1196, false, true, "1:00"}};
    for (const auto &step : steps) {
        Clock(step.ticks);
        EXPECT_EQ(Probe(*form).Key(24)->IsSounding(), step.lit24) << step.time;
        EXPECT_EQ(Probe(*form).Key(25)->IsSounding(), step.lit25) << step.time;
        EXPECT_EQ(time->text(), QString::fromLatin1(step.time));
    }
    QTest::mouseRelease(Probe(*form).Key(25), Qt::LeftButton);
    EXPECT_FALSE(Probe(*form).Key(25)->IsSounding());
    // A note still sounding goes dark when playback ends.
    Probe(*form).SetCurrentTick(0);
    stream.Seek(0, recorder::SeekOrigin::Begin);
    Clock(2);
    EXPECT_TRUE(Probe(*form).Key(25)->IsSounding());
    Click("SpeedButton3");
    EXPECT_FALSE(Probe(*form).Key(24)->IsSounding() || Probe(*form).Key(25)->IsSounding());
    EXPECT_FALSE(time->isVisibleTo(form.get()));
}

TEST_F(Practice, TheTitleNamesTheFileAndMarksAnUnsavedTake)
{
    testing_support::AnsweredFileDialogs dialogs;
    dialogs.answer = dir.filePath(QStringLiteral("song.vsq")).toStdString();
    const struct {
        const char *step;
        std::function<void()> act;
        const char *title;
    } steps[] = {
        {"start", [] {}, "MIDI Sonoret"},
        {"recorded", [this] { Click("SpeedButton1"); }, "*MIDI Sonoret"},
        {"saved", [this] { Trigger("Speichern1"); SettleSaves(); }, "song.vsq – MIDI Sonoret"},
        {"recorded again", [this] { Click("SpeedButton1"); }, "*song.vsq – MIDI Sonoret"},
        {"opened", [this] { Trigger("ffnen1"); }, "song.vsq – MIDI Sonoret"},
    };
    for (const auto &step : steps) {
        step.act();
        EXPECT_EQ(form->windowTitle(), QString::fromUtf8(step.title)) << step.step;
    }
}

} // namespace
