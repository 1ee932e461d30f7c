// MIDI thru over JACK: a source and a device both ports of our client, the
// source's messages reach the device in the cycle they arrive in, at their
// frame and in their order, and the reader learns of each whether it went.

#include "midi_out/MidiIn.h"
#include "midi_out/MidiOut.h"
#include "midi_out/SystemBackend.h"
#include "support/BackendTestSupport.h"
#include "support/EventLoop.h"
#include "support/JackMidiSource.h"

#include <gtest/gtest.h>

using namespace midi_out;
using namespace backend_test;
using testing_support::ProcessEventsUntil;

namespace {

struct Handed {
    Bytes bytes;
    bool forwarded;
    bool operator==(const Handed &) const = default;
};

Bytes Unpack(std::uint32_t packed)
{
    Bytes bytes{static_cast<std::uint8_t>(packed), static_cast<std::uint8_t>(packed >> 8),
                static_cast<std::uint8_t>(packed >> 16)};
    bytes.resize(static_cast<std::size_t>(midi_out::ShortMessageFramer::LengthOf(bytes[0])));
    return bytes;
}

// What SetUp plays until the connections are in force: late ones may still
// come during the test, and are left out of what it looks at.
const Bytes Probe{0xBF, 0x7F, 0};
bool IsProbe(const Bytes &message) { return message.size() == 3 && message[0] == 0xBF && message[1] == 0x7F; }

class JackThru : public ::testing::Test {
protected:
    void SetUp() override
    {
        REQUIRE_JACK_SERVER();
        out.SetProductName(receiver.portName());
        ASSERT_TRUE(out.OpenDevice());
        in.ForwardTo(&out);
        out.Backend().RefreshInputs();
        for (std::uint32_t i = 0; i < out.Backend().InputCount(); ++i) {
            std::string name;
            out.Backend().GetInputName(static_cast<std::int32_t>(i), &name);
            if (name == source.PortName()) {
                ASSERT_TRUE(in.Open(static_cast<std::int32_t>(i)));
            }
        }
        ASSERT_TRUE(in.IsOpen());
        ASSERT_TRUE(in.Forwarding());
        // The server runs a connection from a later cycle on: until both
        // are in force, what is played is lost or the window's to send.
        const auto deadline = std::chrono::steady_clock::now() + testing_support::kHangBound;
        while (!probeForwarded) {
            ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the connections never came into force";
            source.Play(Probe);
            ProcessEventsUntil([&] { return probeForwarded; }, 20);
        }
    }

    // The messages and frames at the receiver, probes left out, once there are `count`.
    std::vector<Bytes> Arrived(std::size_t count, std::vector<jack_nframes_t> *frames = nullptr)
    {
        const auto deadline = std::chrono::steady_clock::now() + testing_support::kHangBound;
        std::vector<Bytes> played;
        do {
            played.clear();
            const std::vector<Bytes> all = receiver.waitFor(SIZE_MAX, std::chrono::milliseconds(2));
            const std::vector<jack_nframes_t> &at = receiver.frames();
            if (frames != nullptr)
                frames->clear();
            for (std::size_t i = 0; i < all.size(); ++i)
                if (!IsProbe(all[i])) {
                    played.push_back(all[i]);
                    if (frames != nullptr)
                        frames->push_back(at[i]);
                }
        } while (played.size() < count && std::chrono::steady_clock::now() < deadline);
        return played;
    }

    // Plays `messages` in one cycle and waits until the reader has had `handed`
    // of them; a fatal failure when it has not (callers end the test then).
    void PlayAndWait(const std::vector<Bytes> &messages, std::uint8_t frame, std::size_t handedCount)
    {
        source.PlayInOneCycle(messages, frame);
        ProcessEventsUntil([&] { return handed.size() >= handedCount; });
        ASSERT_EQ(handed.size(), handedCount);
    }

    testing_support::JackMidiSource source{"sonoret-test-thru-" + std::to_string(getpid())};
    JackReceiver receiver;
    TMidiOutput out{CreateSystemBackend()};
    std::vector<Handed> handed;
    bool probeForwarded = false;
    TMidiInput in{out.Backend(),
                  {[this](std::uint32_t m, bool forwarded) {
                       if (IsProbe(Unpack(m)))
                           probeForwarded = probeForwarded || forwarded;
                       else
                           handed.push_back({Unpack(m), forwarded});
                   },
                   [this](const std::uint8_t *b, std::size_t n, bool forwarded) {
                       handed.push_back({Bytes(b, b + n), forwarded});
                   },
                   {}}};
};

TEST_F(JackThru, MessagesGoOnInTheCycleAndAtTheFrameTheyArriveInTheirOrder)
{
    // Channel messages of each length and system exclusive go on; system
    // common is the reader's to drop.
    const std::vector<Bytes> played{{0x90, 60, 100}, {0xF6},         {0xF0, 0x7D, 0x01, 0xF7}, {0xC3, 5},
                                    {0xB0, 64, 127}, {0xE1, 0, 0x40}, {0x80, 60, 0}};
    std::vector<Handed> expected;
    std::vector<Bytes> through;
    for (const Bytes &message : played) {
        const bool goesOn = message[0] != 0xF6;
        expected.push_back({message, goesOn});
        if (goesOn)
            through.push_back(message);
    }
    ASSERT_NO_FATAL_FAILURE(PlayAndWait(played, 9, played.size()));
    EXPECT_EQ(handed, expected);
    std::vector<jack_nframes_t> frames;
    EXPECT_EQ(Arrived(through.size(), &frames), through);
    // Same cycle, same frame: what the source played at frame F of cycle C
    // arrives at frame F of cycle C. Ours were played last.
    const std::vector<jack_nframes_t> playedAt = source.PlayedFrames();
    ASSERT_GE(playedAt.size(), played.size());
    EXPECT_EQ(frames, std::vector<jack_nframes_t>(through.size(), playedAt.back()));

    // A long run in one cycle keeps its order, and what the window sends
    // meanwhile goes before it or after it, never between.
    receiver.clear();
    handed.clear();
    std::vector<Bytes> run;
    for (std::uint8_t note = 0; note < 100; ++note)
        run.push_back({0x90, note, static_cast<std::uint8_t>(note + 1)});
    out.SendShortMessage(0xB0, 7, 99);
    ASSERT_NO_FATAL_FAILURE(PlayAndWait(run, 3, run.size()));
    std::vector<Bytes> got = Arrived(run.size() + 1);
    ASSERT_EQ(got.size(), run.size() + 1);
    const auto sent = std::find(got.begin(), got.end(), Bytes{0xB0, 7, 99});
    ASSERT_NE(sent, got.end()) << "the window's message arrived";
    got.erase(sent);
    EXPECT_EQ(got, run);
    EXPECT_TRUE(std::all_of(handed.begin(), handed.end(), [](const Handed &h) { return h.forwarded; }));
}

TEST_F(JackThru, ADeviceClosedEndsItAndTheDeviceOpenedNextTakesItUp)
{
    ASSERT_NO_FATAL_FAILURE(PlayAndWait({{0x90, 60, 100}}, 0, 1));
    EXPECT_TRUE(handed.back().forwarded);
    EXPECT_EQ(Arrived(1), (std::vector<Bytes>{{0x90, 60, 100}}));

    // Closed: what arrives is the reader's to send, and nothing reaches the
    // closed port but the silencing of its close.
    out.CloseDevice();
    Arrived(1 + SilencingMessages().size());
    receiver.clear();
    ASSERT_NO_FATAL_FAILURE(PlayAndWait({{0x80, 60, 0}}, 0, 2));
    EXPECT_EQ(handed.back(), (Handed{{0x80, 60, 0}, false}));
    receiver.settle();
    EXPECT_EQ(Arrived(0), std::vector<Bytes>{});
    EXPECT_FALSE(in.Forwarding());

    // Open again: the input follows the device from its next message on.
    ASSERT_TRUE(out.OpenDevice());
    in.FollowThru();
    EXPECT_TRUE(in.Forwarding());
    ASSERT_NO_FATAL_FAILURE(PlayAndWait({{0x90, 62, 90}}, 0, 3));
    EXPECT_EQ(handed.back(), (Handed{{0x90, 62, 90}, true}));
    EXPECT_EQ(Arrived(1), (std::vector<Bytes>{{0x90, 62, 90}}));
}

} // namespace
