// The note path: a message reaches the device first, and is recorded at the
// transport's tick only while the transport records and the device took it.

#include "recorder/NoteRouter.h"

#include "midi_out/MidiErrors.h"
#include "midi_out/MidiOut.h"
#include "recorder/Transport.h"
#include "support/TestBackend.h"

#include <gtest/gtest.h>

namespace {

using midi_out::TestBackend;
using recorder::NoteRouter;
using recorder::RecordedEvent;
using Bytes = std::vector<std::uint8_t>;

enum class Seen { DeviceNeeded, Sent, Recorded };
enum class State { None, Stopped, Recording, Playing };

// The window around the note path: it observes the router and hosts the
// transport, whose actions send nothing here.
struct NotePath : recorder::NoteObserver, recorder::TransportHost, recorder::NoteSink {
    NotePath(State state, std::int32_t tick)
    {
        EXPECT_TRUE(device.OpenDevice());
        if (state == State::Recording)
            transport.Record();
        else if (state == State::Playing)
            transport.Play();
        transport.SetTick(tick);
        router.SetTransport(state == State::None ? nullptr : &transport);
    }
    void DeviceNeeded() override { seen.push_back(Seen::DeviceNeeded); }
    void Sent() override { seen.push_back(Seen::Sent); }
    void Recorded() override { seen.push_back(Seen::Recorded); }
    void SelectStoredInstrument() override {}
    void SilenceDevice() override {}
    void SwitchDrumsOff() override {}
    void ShowTransportState(recorder::TransportState) override {}
    void TakeEnded() override {}
    void SendNote(std::uint8_t, std::uint8_t, std::uint8_t) override {}

    TestBackend *backend = new TestBackend(std::vector<std::string>{"Test"});
    midi_out::TMidiOutput device{std::unique_ptr<midi_out::MidiBackend>(backend)};
    recorder::RecordingStream stream;
    recorder::Transport transport{*this, *this, stream};
    NoteRouter router{device, stream, *this};
    std::vector<Seen> seen;
};

constexpr std::uint32_t kPacked = 0x90u | 60u << 8 | 100u << 16;

// Thru: the device has the message already, and it is only recorded. A long
// message goes to the device only, and is refused above 65535 bytes.
enum class Way { Send, FailedSend, Thru, Long, TooLong };

struct Case {
    State state;
    Way way;
    bool recorded;
    std::vector<Seen> seen;
};

TEST(NoteRouter, SendsThenRecordsAtTheTransportsTickOnlyWhileRecording)
{
    const auto atTick = RecordedEvent{1234, 0x90, 60, 100}.ToBytes();
    const Bytes message(NoteRouter::MaxLongMessage + 1, 0xF0);
    const Case cases[] = {
        {State::Recording, Way::Send, true, {Seen::DeviceNeeded, Seen::Sent, Seen::Recorded}},
        {State::Playing, Way::Send, false, {Seen::DeviceNeeded, Seen::Sent}},
        {State::Stopped, Way::Send, false, {Seen::DeviceNeeded, Seen::Sent}},
        {State::None, Way::Send, false, {Seen::DeviceNeeded, Seen::Sent}},
        {State::Recording, Way::FailedSend, false, {Seen::DeviceNeeded}},
        {State::Recording, Way::Thru, true, {Seen::Recorded}},
        {State::Stopped, Way::Thru, false, {}},
        {State::Recording, Way::Long, false, {Seen::DeviceNeeded}},
        {State::Recording, Way::TooLong, false, {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << "state " << int(c.state) << ", way " << int(c.way));
        NotePath path(c.state, 1234);
        if (c.way == Way::FailedSend)
            path.backend->failures[TestBackend::Op::ShortMessage] = midi_out::MIDIERR_SENDFAILED;
        const auto go = [&] {
            if (c.way == Way::Thru)
                path.router.RecordSent(0x90, 60, 100);
            else if (c.way == Way::Long || c.way == Way::TooLong)
                path.router.SendLongMessage(message.data(), message.size() - (c.way == Way::Long));
            else
                path.router.SendNote(0x90, 60, 100);
        };
        if (c.way == Way::FailedSend || c.way == Way::TooLong)
            EXPECT_THROW(go(), midi_out::EmidioutputError);
        else
            go();
        const bool sentShort = c.way == Way::Send || c.way == Way::FailedSend;
        using Shorts = std::vector<std::uint32_t>;
        EXPECT_EQ(path.backend->SentShortMessages(), sentShort ? Shorts{kPacked} : Shorts{});
        EXPECT_EQ(path.backend->SentLongMessages().size(), c.way == Way::Long ? 1u : 0u);
        EXPECT_EQ(path.stream.Bytes(), c.recorded ? Bytes(atTick.begin(), atTick.end()) : Bytes{});
        EXPECT_EQ(path.seen, c.seen);
    }
}

} // namespace
