// The MIDI input in the real window: what a keyboard plays goes out
// unchanged, is recorded while recording, lights its key; the "Eingang" menu
// and the stored choice; notes held end when the input goes.

#include "performance/WindowFixture.h"

#include "app/DeviceMenu.h"
#include "app/SpinButtons.h"
#include "app/SettingsFile.h"
#include "support/EventLoop.h"

#include <QAction>
#include <QTest>
#include <QToolButton>

#include <algorithm>
#include <functional>

using midi_out::TestBackend;
using testing_support::Packed;
using testing_support::ProcessEventsUntil;

namespace {

class InputWindow : public testing_support::WindowFixture {
protected:
    app::TForm1 &CreateWithSources(std::vector<std::string> sources = {"Keys", "Pads"})
    {
        return Create({"Synth A", "Port B"}, [sources](TestBackend &b) { b.sources = sources; });
    }
    app::DeviceMenu *Inputs() const { return Control<app::DeviceMenu>("InputMenu"); }
    std::vector<std::pair<int, std::string>> InputItems() const
    {
        std::vector<std::pair<int, std::string>> items;
        for (QAction *item : Inputs()->actions())
            items.emplace_back(item->data().toInt(), item->text().toStdString());
        return items;
    }
    void Choose(int index)
    {
        emit Inputs()->aboutToShow();
        Inputs()->Item(index)->trigger();
    }
    // Plays into the input and lets the window drain it.
    void Play(std::vector<std::uint8_t> bytes)
    {
        const std::size_t before = backend->CallsOf(TestBackend::Op::ShortMessage).size() +
                                   backend->CallsOf(TestBackend::Op::LongMessage).size();
        backend->PlayInput(bytes);
        ProcessEventsUntil([&] {
            return backend->CallsOf(TestBackend::Op::ShortMessage).size() +
                       backend->CallsOf(TestBackend::Op::LongMessage).size() > before;
        }, 300);
    }
    std::vector<std::pair<std::uint32_t, std::uint32_t>> Recorded()
    {
        auto &stream = form->RecordingStream();
        std::vector<std::pair<std::uint32_t, std::uint32_t>> events;
        stream.Seek(0, recorder::SeekOrigin::Begin);
        while (const auto event = stream.ReadEvent())
            events.emplace_back(event->tick, Packed(event->status, event->data1, event->data2));
        return events;
    }
    std::string Stored(const char *key) const
    {
        return app::SettingsFile(iniPath).ReadString("InputDevice", key, "<none>");
    }
};

TEST_F(InputWindow, MenuListsNoInputFirstThenTheSourcesHighestFirst)
{
    CreateWithSources({"Keys", "Pads", "Drums"});
    emit Inputs()->aboutToShow();
    EXPECT_EQ(InputItems(), (std::vector<std::pair<int, std::string>>{
                                {-1, "Kein Eingang"}, {2, "Drums"}, {1, "Pads"}, {0, "Keys"}}));
    EXPECT_EQ(Inputs()->CheckedIndex(), -1);
    EXPECT_TRUE(Inputs()->Item(-1)->isChecked());
}

TEST_F(InputWindow, EveryKindOfMessageGoesWhereTheTableSays)
{
    struct Case {
        std::vector<std::uint8_t> bytes;
        bool sent;     // as a short message, unchanged
        bool recorded;
        bool lights;   // key 1 (note 36) turns blue
    };
    const std::vector<Case> cases{
        {{0x90, 36, 100}, true, true, true},
        {{0x80, 36, 0}, true, true, false},
        {{0x95, 36, 1}, true, true, true}, // any channel
        {{0x95, 36, 0}, true, true, false}, // velocity 0 ends it
        {{0xA0, 36, 50}, true, true, false},
        {{0xB3, 64, 127}, true, true, false},
        {{0xC0, 12}, true, true, false},
        {{0xD2, 90}, true, true, false},
        {{0xE1, 0, 64}, true, true, false},
        {{0xF2, 1, 2}, false, false, false}, // system common
        {{0xFE}, false, false, false},       // active sensing
        {{0xF8}, false, false, false},       // timing clock
    };
    CreateWithSources();
    Choose(0);
    Control<QToolButton>("SpeedButton1")->click();
    for (const Case &c : cases) {
        backend->ClearCalls();
        form->RecordingStream().Clear();
        Play(c.bytes);
        std::uint32_t packed = 0;
        for (std::size_t i = 0; i < c.bytes.size(); ++i)
            packed |= std::uint32_t{c.bytes[i]} << (8 * i);
        SCOPED_TRACE(packed);
        EXPECT_EQ(Sent(), c.sent ? std::vector<std::uint32_t>{packed} : std::vector<std::uint32_t>{});
        const auto recorded = Recorded();
        EXPECT_EQ(recorded.size(), c.recorded ? 1u : 0u);
        if (c.recorded && !recorded.empty()) {
            EXPECT_EQ(recorded[0].second, packed);
        }
        EXPECT_EQ(form->Key(1)->IsSounding(), c.lights);
    }
}

TEST_F(InputWindow, SystemExclusiveGoesToTheDeviceWholeAndIsNotRecorded)
{
    CreateWithSources();
    Choose(1);
    Control<QToolButton>("SpeedButton1")->click();
    form->RecordingStream().Clear();
    const std::vector<std::uint8_t> sysex{0xF0, 0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7};
    Play(sysex);
    EXPECT_EQ(backend->SentLongMessages(), std::vector<std::vector<std::uint8_t>>{sysex});
    EXPECT_TRUE(Recorded().empty());
}

TEST_F(InputWindow, TheKeyLitIsTheNoteLessTheTranspositionAndTheMouseLeavesItAlone)
{
    CreateWithSources();
    Choose(0);
    Control<app::SpinButtons>("UpDown2")->SetPosition(12);
    Play({0x90, 60, 90}); // key 8 has note 48
    EXPECT_TRUE(form->Key(8)->IsSounding());
    EXPECT_FALSE(form->Key(15)->IsSounding()); // note 60 itself
    backend->ClearCalls();
    performance::PianoKey *key = form->Key(8);
    QTest::mousePress(key, Qt::LeftButton, Qt::NoModifier, QPoint(key->width() / 2, key->height() - 4));
    QTest::mouseRelease(key, Qt::LeftButton, Qt::NoModifier, QPoint(key->width() / 2, key->height() - 4));
    form->PollKeyboard();
    EXPECT_TRUE(Sent().empty());
    EXPECT_TRUE(key->IsSounding());
    // The transposition changed meanwhile: the Note Off still finds its key.
    Control<app::SpinButtons>("UpDown2")->SetPosition(0);
    Play({0x80, 60, 0});
    EXPECT_TRUE(key->IsSilent());
    // A note beyond the keys sounds without lighting anything.
    Play({0x90, 100, 90});
    EXPECT_EQ(Sent().back(), Packed(0x90, 100, 90));
}

TEST_F(InputWindow, NotesHeldEndWhenTheInputClosesTheDeviceChangesOrTheProgramEnds)
{
    struct Case {
        const char *what;
        std::function<void()> end;
    };
    const std::vector<Case> cases{
        {"Kein Eingang", [this] { Choose(-1); }},
        {"another source", [this] { Choose(1); }},
        {"another device", [this] { form->SelectDevice(1); }},
        {"the end", [this] { form.reset(); }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        CreateWithSources();
        Choose(0);
        Play({0x90, 36, 100});
        Play({0x93, 40, 100});
        Play({0x93, 41, 100});
        Play({0x83, 41, 0});
        backend->ClearCalls();
        TestBackend *b = backend;
        // The back end goes with the window: keep what it was sent.
        std::vector<std::uint32_t> sent;
        b->observer = [&sent](const TestBackend::Call &call) {
            if (call.op == TestBackend::Op::ShortMessage)
                sent.push_back(call.value);
        };
        c.end();
        std::sort(sent.begin(), sent.end());
        EXPECT_EQ(sent, (std::vector<std::uint32_t>{Packed(0x80, 36, 0), Packed(0x83, 40, 0)}));
        if (form) {
            EXPECT_TRUE(form->Key(1)->IsSilent());
            EXPECT_TRUE(form->Key(3)->IsSilent());
            b->observer = nullptr;
        }
        form.reset();
    }
}

TEST_F(InputWindow, TheChoiceIsStoredAndOpenedAgainAtTheNextStart)
{
    CreateWithSources();
    Choose(1);
    EXPECT_EQ(Stored("Name"), "Pads");
    EXPECT_EQ(Stored("ID"), "1");
    form.reset();

    // The source has another number today: found by name, the number follows.
    CreateWithSources({"Other", "Keys", "Pads"});
    EXPECT_EQ(form->MidiIn().InputID(), 2);
    EXPECT_EQ(Stored("ID"), "2");
    EXPECT_TRUE(Inputs()->Item(2)->isChecked());

    Choose(-1);
    EXPECT_FALSE(form->MidiIn().IsOpen());
    EXPECT_EQ(IniText().indexOf("[InputDevice]"), -1);
}

TEST_F(InputWindow, AStoredSourceMissingTodayLeavesTheInputClosedAndTheChoiceKept)
{
    WriteIni("[InputDevice]\nName=Pads\nID=1\n");
    CreateWithSources({"Keys"});
    EXPECT_FALSE(form->MidiIn().IsOpen());
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(Stored("Name"), "Pads");
    EXPECT_EQ(Stored("ID"), "1");
    EXPECT_TRUE(Inputs()->Item(-1)->isChecked());
}

TEST_F(InputWindow, ASourceThatGoesIsToldOnceAndCanBeChosenAgain)
{
    CreateWithSources();
    Choose(0);
    Play({0x90, 36, 100});
    backend->ClearCalls();
    backend->LoseSources();
    ProcessEventsUntil([&] { return !messages.empty(); });
    ProcessEventsUntil([&] { return false; }, 50);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text.toStdString(), "Der MIDI-Eingang ist nicht mehr verfügbar.");
    EXPECT_FALSE(form->MidiIn().IsOpen());
    EXPECT_EQ(Sent(), std::vector<std::uint32_t>{Packed(0x80, 36, 0)});
    EXPECT_TRUE(Inputs()->Item(-1)->isChecked());
    EXPECT_EQ(Stored("Name"), "Keys");

    Choose(0);
    EXPECT_TRUE(form->MidiIn().IsOpen());
    Play({0x90, 38, 100});
    EXPECT_TRUE(form->Key(2)->IsSounding());
}

TEST_F(InputWindow, ReadingTheListAnewKeepsTheOpenSourceOpen)
{
    CreateWithSources({"Keys", "Pads"});
    Choose(1);
    backend->sources = {"New", "Keys", "Pads"};
    emit Inputs()->aboutToShow();
    EXPECT_EQ(form->MidiIn().InputID(), 2);
    EXPECT_TRUE(Inputs()->Item(2)->isChecked());
    EXPECT_EQ(backend->CallsOf(TestBackend::Op::CloseInput).size(), 0u);
    EXPECT_EQ(Stored("ID"), "2");
}

TEST_F(InputWindow, ASourceThatFailsToOpenIsReportedAndNothingIsStored)
{
    CreateWithSources();
    backend->failures[TestBackend::Op::OpenInput] = midi_out::MIDIERR_PORTGONE;
    Choose(0);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text.toStdString(), "The MIDI port is no longer available.");
    EXPECT_TRUE(Inputs()->Item(-1)->isChecked());
    EXPECT_EQ(Stored("Name"), "<none>");
}

} // namespace
