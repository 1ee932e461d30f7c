// The note path: a message reaches the device first, and is recorded at the
// transport's tick only while the transport records and the device took it.

#include "recorder/NoteRouter.h"

#include "midi_out/MidiErrors.h"
#include "midi_out/MidiOut.h"
#include "recorder/Transport.h"
#include "support/TestBackend.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <vector>

namespace {

using midi_out::TestBackend;
using recorder::NoteRouter;
using recorder::RecordedEvent;
using recorder::Transport;
using Bytes = std::vector<std::uint8_t>;

enum class Seen { DeviceNeeded, Sent, Recorded };

class Observer : public recorder::NoteObserver {
public:
    void DeviceNeeded() override { seen.push_back(Seen::DeviceNeeded); }
    void Sent() override { seen.push_back(Seen::Sent); }
    void Recorded() override { seen.push_back(Seen::Recorded); }
    std::vector<Seen> seen;
};

// The window around the transport: its actions send nothing here.
class Host : public recorder::TransportHost, public recorder::NoteSink {
public:
    void SelectStoredInstrument() override {}
    void SilenceDevice() override {}
    void SwitchDrumsOff() override {}
    void ShowTransportState(recorder::TransportState) override {}
    void TakeEnded() override {}
    void SendNote(std::uint8_t, std::uint8_t, std::uint8_t) override {}
};

enum class State { None, Stopped, Recording, Playing };

struct NotePath {
    explicit NotePath(State state, std::int32_t tick)
    {
        EXPECT_TRUE(device.OpenDevice());
        if (state == State::Recording)
            transport.Record();
        else if (state == State::Playing)
            transport.Play();
        transport.SetTick(tick);
        router.SetTransport(state == State::None ? nullptr : &transport);
    }
    TestBackend *backend = new TestBackend(std::vector<std::string>{"Test"});
    midi_out::TMidiOutput device{std::unique_ptr<midi_out::MidiBackend>(backend)};
    recorder::RecordingStream stream;
    Host host;
    Transport transport{host, host, stream};
    Observer observer;
    NoteRouter router{device, stream, observer};
};

constexpr std::uint32_t kPacked = 0x90u | 60u << 8 | 100u << 16;

// Thru: the device has the message already, and it is only recorded.
enum class Way { Send, FailedSend, Thru };

struct Case {
    State state;
    Way way;
    bool recorded;
    std::vector<Seen> seen;
};

TEST(NoteRouter, SendsThenRecordsAtTheTransportsTickOnlyWhileRecording)
{
    const auto atTick = RecordedEvent{1234, 0x90, 60, 100}.ToBytes();
    const Case cases[] = {
        {State::Recording, Way::Send, true, {Seen::DeviceNeeded, Seen::Sent, Seen::Recorded}},
        {State::Playing, Way::Send, false, {Seen::DeviceNeeded, Seen::Sent}},
        {State::Stopped, Way::Send, false, {Seen::DeviceNeeded, Seen::Sent}},
        {State::None, Way::Send, false, {Seen::DeviceNeeded, Seen::Sent}},
        {State::Recording, Way::FailedSend, false, {Seen::DeviceNeeded}},
        {State::Recording, Way::Thru, true, {Seen::Recorded}},
        {State::Stopped, Way::Thru, false, {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << "state " << int(c.state) << ", way " << int(c.way));
        NotePath path(c.state, 1234);
        if (c.way == Way::FailedSend)
            path.backend->failures[TestBackend::Op::ShortMessage] = midi_out::MIDIERR_SENDFAILED;
        if (c.way == Way::Thru)
            path.router.RecordSent(0x90, 60, 100);
        else if (c.way == Way::FailedSend)
            EXPECT_THROW(path.router.SendNote(0x90, 60, 100), midi_out::EmidioutputError);
        else
            path.router.SendNote(0x90, 60, 100);
        EXPECT_EQ(path.backend->SentShortMessages(),
                  c.way == Way::Thru ? std::vector<std::uint32_t>{} : std::vector<std::uint32_t>{kPacked});
        EXPECT_EQ(path.stream.Bytes(), c.recorded ? Bytes(atTick.begin(), atTick.end()) : Bytes{});
        EXPECT_EQ(path.observer.seen, c.seen);
    }
}

TEST(NoteRouter, LongMessagesGoToTheDeviceOnlyAndNoLongerThanTheLimit)
{
    for (const std::size_t length : {NoteRouter::MaxLongMessage, NoteRouter::MaxLongMessage + 1}) {
        NotePath path(State::Recording, 3);
        const Bytes message(length, 0xF0);
        const bool fits = length <= NoteRouter::MaxLongMessage;
        if (fits)
            path.router.SendLongMessage(message.data(), message.size());
        else
            EXPECT_THROW(path.router.SendLongMessage(message.data(), message.size()), midi_out::EmidioutputError);
        EXPECT_EQ(path.backend->SentLongMessages(), fits ? std::vector<Bytes>{message} : std::vector<Bytes>{});
        EXPECT_EQ(path.observer.seen, fits ? std::vector<Seen>{Seen::DeviceNeeded} : std::vector<Seen>{});
        EXPECT_TRUE(path.stream.Bytes().empty()) << "the recording holds short messages";
    }
}

} // namespace
