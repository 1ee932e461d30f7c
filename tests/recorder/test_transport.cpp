#include "recorder/Transport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using recorder::RecordedEvent;
using recorder::RecordingStream;
using recorder::Transport;
using recorder::TransportState;

struct Message {
    std::uint8_t status, data1, data2;
    std::int32_t atTick; // the transport's tick when it was sent
    friend bool operator==(const Message &, const Message &) = default;
};

// Stands in for the window: keeps what it sends, records while the transport
// records, and fails on request.
class FakeWindow : public recorder::TransportHost, public recorder::NoteSink {
public:
    FakeWindow() : transport(*this, *this, stream) {}

    void SendNote(std::uint8_t status, std::uint8_t data1, std::uint8_t data2) override
    {
        if (failOnData1 && *failOnData1 == data1)
            throw std::runtime_error("send failed");
        sent.push_back({status, data1, data2, transport.Tick()});
        if (transport.IsRecording())
            stream.WriteEvent({static_cast<std::uint32_t>(transport.Tick()), status, data1, data2});
    }
    void SelectStoredInstrument() override { SendNote(0xC0, instrument, 0); }
    void SilenceDevice() override {}
    void SwitchDrumsOff() override {}
    void ShowTransportState(TransportState) override {}
    void TakeEnded() override { ++takesEnded; }

    void Append(std::uint32_t tick, std::uint8_t data1)
    {
        stream.WriteEvent({tick, 0x90, data1, 100});
    }

    RecordingStream stream;
    Transport transport;
    int takesEnded = 0;
    std::uint8_t instrument = 5;
    std::optional<std::uint8_t> failOnData1;
    std::vector<Message> sent;
};

constexpr Message Note(std::uint8_t data1, std::int32_t atTick) { return {0x90, data1, 100, atTick}; }
constexpr Message Program(std::int32_t atTick) { return {0xC0, 5, 0, atTick}; }
constexpr Message Off(std::uint8_t data1, std::int32_t atTick) { return {0x80, data1, 0, atTick}; }

// What playback's end sends: a Note Off for each note it left on, then the instrument.
std::vector<Message> Ending(std::vector<Message> sent, std::vector<std::uint8_t> keysLeftOn, std::int32_t atTick)
{
    for (const std::uint8_t key : keysLeftOn)
        sent.push_back(Off(key, atTick));
    sent.push_back(Program(atTick));
    return sent;
}

// Plays the stream from the start, ticking until playback ends.
void PlayToEnd(FakeWindow &w, int maxTicks = 100)
{
    w.transport.Play();
    w.sent.clear();
    for (int i = 0; i < maxTicks && w.transport.IsPlaying(); ++i)
        w.transport.ClockTick();
}

TEST(TransportButtons, RecordStartsAfreshWithTheInstrumentAtTickZero)
{
    FakeWindow w;
    w.Append(9, 60);
    w.transport.SetTick(77);
    w.transport.Record();
    EXPECT_EQ(w.transport.State(), TransportState::Recording);
    EXPECT_EQ(w.transport.Tick(), 0);
    EXPECT_EQ(w.stream.Bytes(), (std::vector<std::uint8_t>{0, 0, 0, 0, 0xC0, 5, 0}));

    // Again while recording: what was recorded is discarded.
    w.transport.ClockTick();
    w.SendNote(0x90, 61, 90);
    w.transport.Record();
    EXPECT_EQ(w.transport.Tick(), 0);
    EXPECT_EQ(w.stream.Size(), RecordedEvent::kSize);
}

TEST(TransportButtons, PlayWhilePlayingRestartsFromTheBeginning)
{
    FakeWindow w;
    w.Append(0, 60);
    w.Append(1, 61);
    w.transport.Play();
    w.transport.ClockTick();
    w.transport.ClockTick();
    w.sent.clear();
    w.transport.Play();
    w.transport.ClockTick();
    EXPECT_EQ(w.sent, (std::vector<Message>{Program(0), Note(60, 0)}));
}

TEST(TransportClock, CountsInEveryStateAndWrapsSigned)
{
    FakeWindow w;
    w.transport.ClockTick();
    EXPECT_EQ(w.transport.Tick(), 1);
    w.transport.Record();
    w.transport.ClockTick();
    EXPECT_EQ(w.transport.Tick(), 1);
    w.transport.Halt();
    w.transport.SetTick(INT_MAX);
    w.transport.ClockTick();
    EXPECT_EQ(w.transport.Tick(), INT_MIN);
}

TEST(TransportPlayback, EmptyStreamEndsOnTheFirstTick)
{
    FakeWindow w;
    PlayToEnd(w, 1);
    EXPECT_EQ(w.transport.State(), TransportState::Stopped);
    EXPECT_EQ(w.transport.Tick(), 0);
    EXPECT_EQ(w.sent, (std::vector<Message>{Program(0)}));
}

// A final partial record of each possible length is ignored; playback ends on
// the tick after the last whole event is due.
TEST(TransportPlayback, PartialLastRecordIsIgnored)
{
    for (std::size_t extra = 0; extra < RecordedEvent::kSize; ++extra) {
        SCOPED_TRACE(extra);
        FakeWindow w;
        w.Append(0, 60);
        w.Append(1, 61);
        const std::uint8_t tail[] = {1, 0, 0, 0, 0x90, 62};
        w.stream.Write(tail, extra);
        PlayToEnd(w);
        EXPECT_EQ(w.sent, Ending({Note(60, 0), Note(61, 1)}, {60, 61}, 1));
        EXPECT_EQ(w.transport.State(), TransportState::Stopped);
    }
}

struct SignedCase {
    const char *name;
    std::vector<std::uint32_t> ticks;
    std::vector<Message> expected; // Program Change at the end omitted
};

TEST(TransportPlayback, TicksCompareSignedInStreamOrder)
{
    const SignedCase cases[] = {
        {"negative is due at once", {0xFFFFFFFFu, 1}, {Note(1, 0), Note(2, 1)}},
        {"most negative", {0x80000000u}, {Note(1, 0)}},
        {"decreasing goes with the one before", {3, 1, 4}, {Note(1, 3), Note(2, 3), Note(3, 4)}},
        {"same tick together", {2, 2, 2}, {Note(1, 2), Note(2, 2), Note(3, 2)}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        FakeWindow w;
        std::uint8_t note = 1;
        for (auto tick : c.ticks)
            w.Append(tick, note++);
        PlayToEnd(w);
        std::vector<std::uint8_t> keys;
        for (const Message &m : c.expected)
            keys.push_back(m.data1);
        EXPECT_EQ(w.sent, Ending(c.expected, keys, c.expected.back().atTick));
    }
}

TEST(TransportPlayback, LargePositiveTickIsNeverDueBeforeItsTime)
{
    FakeWindow w;
    w.Append(0x7FFFFFFFu, 1);
    w.transport.Play();
    w.sent.clear();
    for (int i = 0; i < 50; ++i)
        w.transport.ClockTick();
    EXPECT_TRUE(w.sent.empty());
    EXPECT_TRUE(w.transport.IsPlaying());
    EXPECT_EQ(w.stream.Position(), 0u) << "the cursor stays at the tick not yet due";
}

TEST(TransportPlayback, FailedSendIsNotRetriedAndTheTickWaits)
{
    FakeWindow w;
    w.Append(0, 1);
    w.Append(0, 2);
    w.Append(0, 3);
    w.Append(1, 4);
    w.transport.Play();
    w.sent.clear();
    w.failOnData1 = 2;

    EXPECT_THROW(w.transport.ClockTick(), std::runtime_error);
    EXPECT_EQ(w.transport.Tick(), 0);
    EXPECT_TRUE(w.transport.IsPlaying());
    EXPECT_EQ(w.stream.Position(), 2 * RecordedEvent::kSize);

    w.transport.ClockTick();
    EXPECT_EQ(w.transport.Tick(), 1);
    w.transport.ClockTick();
    w.transport.ClockTick();
    EXPECT_EQ(w.sent, Ending({Note(1, 0), Note(3, 0), Note(4, 1)}, {1, 3, 4}, 1));
    EXPECT_FALSE(w.transport.IsPlaying());
}

// Whatever ends a take closes it: every note left on gets a Note Off at the
// tick it ends on, in the take only; the live notes are not touched.
TEST(TransportRecording, WhateverEndsATakeClosesItsNotes)
{
    struct Case {
        const char *name;
        void (*end)(Transport &);
    };
    const Case cases[] = {
        {"Wiedergabe", [](Transport &t) { t.Play(); }},
        {"Angehalten", [](Transport &t) { t.Stop(); }},
        {"open, save or quit", [](Transport &t) { t.Halt(); }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        FakeWindow w;
        w.transport.Record();
        w.SendNote(0x90, 60, 100);
        w.SendNote(0x99, 36, 127);
        w.SendNote(0x90, 62, 100);
        w.SendNote(0x80, 62, 0);
        w.SendNote(0x90, 64, 0); // velocity 0: no note on
        w.transport.SetTick(7);
        w.sent.clear();
        c.end(w.transport);
        EXPECT_TRUE(std::none_of(w.sent.begin(), w.sent.end(), [](const Message &m) { return (m.status & 0xF0) == 0x80; }));
        std::vector<RecordedEvent> tail;
        w.stream.Seek(6 * RecordedEvent::kSize, recorder::SeekOrigin::Begin);
        while (const auto event = w.stream.ReadEvent())
            tail.push_back(*event);
        EXPECT_EQ(tail, (std::vector<RecordedEvent>{{7, 0x80, 60, 0}, {7, 0x89, 36, 0}}));
    }
}

TEST(TransportPlayback, AngehaltenEndsExactlyTheNotesPlaybackLeftOn)
{
    FakeWindow w;
    w.stream.WriteEvent({0, 0x90, 60, 100});
    w.stream.WriteEvent({0, 0x91, 61, 100});
    w.stream.WriteEvent({0, 0x90, 62, 100});
    w.stream.WriteEvent({1, 0x90, 62, 0});
    w.stream.WriteEvent({9, 0x80, 60, 0});
    w.transport.Play();
    w.transport.ClockTick();
    w.transport.ClockTick();
    w.sent.clear();
    w.transport.Stop();
    EXPECT_EQ(w.sent, (std::vector<Message>{{0x80, 60, 0, 2}, {0x81, 61, 0, 2}, Program(2)}));
    w.sent.clear();
    w.transport.Stop();
    EXPECT_EQ(w.sent, std::vector<Message>{Program(2)}) << "each note is ended once";
}

TEST(TransportPlayback, ATickSendsABoundedNumberOfEventsAndTheRestInOrderAfter)
{
    FakeWindow w;
    const std::size_t count = Transport::MaxEventsPerTick + 100;
    for (std::size_t i = 0; i < count; ++i)
        w.stream.WriteEvent({0, 0xB0, static_cast<std::uint8_t>(i % 128), static_cast<std::uint8_t>(i / 128)});
    w.transport.Play();
    w.sent.clear();
    w.transport.ClockTick();
    EXPECT_EQ(w.sent.size(), Transport::MaxEventsPerTick);
    w.transport.ClockTick();
    ASSERT_EQ(w.sent.size(), count + 1);
    for (std::size_t i = 0; i < count; ++i)
        EXPECT_EQ(w.sent[i].data1 + 128 * w.sent[i].data2, static_cast<int>(i));
    EXPECT_EQ(w.sent.back(), Program(1)) << "and the stream is exhausted";
}

} // namespace

// The take is whole once a recording ends, whatever ends it, and only then:
// its journal is sealed on this, not on what the buttons show.
TEST(TransportTake, EndsOnceWhenARecordingEndsAndOnlyThen)
{
    using Action = void (Transport::*)();
    const struct {
        const char *name;
        std::vector<Action> actions;
        int takesEnded;
    } cases[] = {
        {"record, stop", {&Transport::Record, &Transport::Stop}, 1},
        {"record, play", {&Transport::Record, &Transport::Play}, 1},
        {"record, halt", {&Transport::Record, &Transport::Halt}, 1},
        {"record again", {&Transport::Record, &Transport::Record}, 0},
        {"play, stop", {&Transport::Play, &Transport::Stop}, 0},
        {"stop, stop", {&Transport::Stop, &Transport::Stop}, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        FakeWindow w;
        w.Append(5, 60);
        for (const Action action : c.actions)
            (w.transport.*action)();
        EXPECT_EQ(w.takesEnded, c.takesEnded);
    }
}

