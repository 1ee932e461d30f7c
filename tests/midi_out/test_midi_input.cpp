// The input side of the device component: what a source's thread hands to
// the driver callback reaches the handlers on the main thread in order; a
// full buffer drops and counts; long messages give their headers back.

#include "midi_out/InputHeaders.h"
#include "midi_out/MidiIn.h"
#include "midi_out/MidiOut.h"
#include "midi_out/SystemBackend.h"
#include "common/Guard.h"
#include "support/EventLoop.h"
#include "support/TestBackend.h"

#include <gtest/gtest.h>

#include <thread>

using namespace midi_out;
using testing_support::ProcessEventsUntil;

namespace {

std::vector<std::string> errors;
void KeepError()
{
    try {
        throw;
    } catch (const std::exception &error) {
        errors.emplace_back(error.what());
    }
}

class MidiInput : public ::testing::Test {
protected:
    void SetUp() override
    {
        errors.clear();
        common::SetErrorSink(&KeepError);
        backend.sources = {"Keys"};
        ASSERT_TRUE(input.Open(0));
    }
    void TearDown() override { common::SetErrorSink(nullptr); }

    TestBackend backend;
    std::vector<std::uint32_t> shorts;
    std::vector<std::thread::id> threads;
    std::vector<std::vector<std::uint8_t>> longs;
    TMidiInput input{backend,
                     {[this](std::uint32_t m, bool) { shorts.push_back(m), threads.push_back(std::this_thread::get_id()); },
                      [this](const std::uint8_t *b, std::size_t n, bool) { longs.emplace_back(b, b + n); }, {}}};
};

TEST_F(MidiInput, MessagesFromTheSourcesThreadReachTheHandlersOnTheMainThreadInOrder)
{
    std::thread source([&] {
        for (int i = 0; i < 500; ++i)
            backend.PlayInput({0x90, std::uint8_t(i % 128), std::uint8_t(i / 128 + 1)});
    });
    source.join();
    ProcessEventsUntil([&] { return shorts.size() == 500; });
    ASSERT_EQ(shorts.size(), 500u);
    for (std::uint32_t i = 0; i < 500; ++i)
        EXPECT_EQ(shorts[i], 0x90u | (i % 128) << 8 | (i / 128 + 1) << 16);
    EXPECT_EQ(threads, std::vector<std::thread::id>(500, std::this_thread::get_id()));
}

TEST_F(MidiInput, AFullBufferDropsTheLaterEntriesCountsThemAndSaysSoOnce)
{
    // Played on the main thread: nothing is drained until the loop runs.
    for (int i = 0; i < TMidiInput::BufferCapacity + 5; ++i)
        backend.PlayInput({0xB0, 7, std::uint8_t(i & 0x7F)});
    ProcessEventsUntil([&] { return !errors.empty(); });
    ASSERT_EQ(shorts.size(), std::size_t{TMidiInput::BufferCapacity});
    EXPECT_EQ(shorts.back(), 0x07B0u | ((TMidiInput::BufferCapacity - 1) & 0x7F) << 16);
    EXPECT_EQ(input.Dropped(), 5u);
    EXPECT_EQ(errors, std::vector<std::string>{"MIDI input buffer full: 5 messages dropped"});
    backend.PlayInput({0x90, 60, 1});
    ProcessEventsUntil([&] { return shorts.size() > TMidiInput::BufferCapacity; });
    EXPECT_EQ(shorts.back(), 0x013C90u);
    EXPECT_EQ(errors.size(), 1u);
}

TEST_F(MidiInput, LongMessagesGiveTheirHeadersBackAndOneTooLongIsCountedLost)
{
    for (std::size_t i = 0; i < 3 * InputHeaderPool::Headers; ++i) {
        backend.PlayInput({0xF0, std::uint8_t(i), 0xF7});
        ProcessEventsUntil([&] { return longs.size() == i + 1; });
    }
    ASSERT_EQ(longs.size(), 3 * InputHeaderPool::Headers);
    EXPECT_EQ(longs.back(), (std::vector<std::uint8_t>{0xF0, 3 * InputHeaderPool::Headers - 1, 0xF7}));
    EXPECT_EQ(input.Dropped(), 0u);
    backend.PlayInput(std::vector<std::uint8_t>(InputHeaderPool::BytesPerHeader + 1, 0xF0));
    ProcessEventsUntil([&] { return input.Dropped() == 1; });
    EXPECT_EQ(input.Dropped(), 1u);
}

TEST(SystemBackendInputs, ThePartsSourcesAreOneListAndEachOpenReachesItsPart)
{
    std::vector<std::unique_ptr<MidiBackend>> parts;
    for (const auto &names : {std::vector<std::string>{"Keys", "Pads"}, std::vector<std::string>{"Keys"}}) {
        parts.push_back(std::make_unique<TestBackend>());
        static_cast<TestBackend &>(*parts.back()).sources = names;
    }
    auto &second = static_cast<TestBackend &>(*parts.back());
    SystemBackend system(std::move(parts));
    std::vector<std::string> names(system.InputCount());
    for (std::size_t i = 0; i < names.size(); ++i)
        system.GetInputName(std::int32_t(i), &names[i]);
    EXPECT_EQ(names, (std::vector<std::string>{"Keys", "Pads", "Keys #2"}));

    std::vector<std::uint32_t> got;
    TMidiInput input(system, {[&](std::uint32_t m, bool) { got.push_back(m); }, {}, {}});
    ASSERT_TRUE(input.Open(2));
    second.PlayInput({0x80, 64, 0});
    ProcessEventsUntil([&] { return !got.empty(); });
    EXPECT_EQ(got, std::vector<std::uint32_t>{0x4080});
    input.Close();
    EXPECT_TRUE(second.CallsOf(TestBackend::Op::CloseInput).size() == 1);
}

// MIDI thru from a source of one part to a device of another (a keyboard on
// JACK or ALSA playing the built-in synthesizer): from the source's thread,
// marked for the reader; a refusal lets nothing overtake the refused message;
// a device that closes is played no more.
TEST(SystemBackendThru, ASourcePlaysAnotherPartsDeviceInOrderUntilTheDeviceCloses)
{
    std::vector<std::unique_ptr<MidiBackend>> parts;
    parts.push_back(std::make_unique<TestBackend>(std::vector<std::string>{"Synth"}));
    parts.push_back(std::make_unique<TestBackend>(std::vector<std::string>{}));
    auto &synth = static_cast<TestBackend &>(*parts[0]);
    auto &keys = static_cast<TestBackend &>(*parts[1]);
    synth.forwards = true;
    keys.sources = {"Keys"};
    auto owned = std::make_unique<SystemBackend>(std::move(parts));
    SystemBackend &system = *owned;
    TMidiOutput out(std::move(owned));
    ASSERT_TRUE(out.OpenDevice());

    // As the window does: what was not forwarded, it sends.
    std::vector<std::pair<std::uint32_t, bool>> got;
    TMidiInput input(system, {[&](std::uint32_t m, bool forwarded) {
                                 got.emplace_back(m, forwarded);
                                 if (!forwarded)
                                     out.SendShortMessage(m & 0xFF, (m >> 8) & 0xFF, (m >> 16) & 0xFF);
                             },
                             {}, {}});
    input.ForwardTo(&out);
    ASSERT_TRUE(input.Open(0));
    ASSERT_TRUE(input.Forwarding());
    const auto play = [&](std::vector<std::uint8_t> bytes) { keys.PlayInput(bytes); };
    const auto drain = [&](std::size_t count) { ProcessEventsUntil([&] { return got.size() >= count; }); };

    play({0x90, 60, 100});
    drain(1);
    // Refused: that message and the one after it go the window's way, in order.
    synth.refuseForwards = true;
    play({0x90, 62, 100});
    synth.refuseForwards = false;
    play({0x80, 62, 0});
    drain(3);
    // The drain sent them: the short way is open again.
    play({0x80, 60, 0});
    drain(4);
    EXPECT_EQ(got, (std::vector<std::pair<std::uint32_t, bool>>{
                       {0x643C90, true}, {0x643E90, false}, {0x3E80, false}, {0x3C80, true}}));
    EXPECT_EQ(synth.Forwarded(), (std::vector<std::vector<std::uint8_t>>{{0x90, 60, 100}, {0x80, 60, 0}}));
    EXPECT_EQ(synth.SentShortMessages(), (std::vector<std::uint32_t>{0x643E90, 0x3E80}));

    // The device closes: nothing more reaches it from the source's thread.
    out.CloseDevice();
    play({0x90, 64, 1});
    drain(5);
    ASSERT_EQ(got.size(), 5u);
    EXPECT_EQ(got.back(), (std::pair<std::uint32_t, bool>{0x014090, false}));
    EXPECT_EQ(synth.Forwarded().size(), 2u);
    EXPECT_FALSE(input.Forwarding());
}

} // namespace
