// The input side of the device component: what a source's thread hands to
// the driver callback reaches the handlers on the main thread, in order; a
// full buffer drops and counts; a source that goes closes the input.

#include "midi_out/InputHeaders.h"
#include "midi_out/MidiIn.h"
#include "midi_out/MidiErrors.h"
#include "midi_out/SystemBackend.h"
#include "common/Guard.h"
#include "support/EventLoop.h"
#include "support/TestBackend.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

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

struct Received {
    std::vector<std::uint32_t> shorts;
    std::vector<std::vector<std::uint8_t>> longs;
    int gone = 0;
    std::vector<std::thread::id> threads;
};

class MidiInput : public ::testing::Test {
protected:
    void SetUp() override
    {
        errors.clear();
        common::SetErrorSink(&KeepError);
        backend.sources = {"Keyboard A", "Keyboard B"};
    }
    void TearDown() override { common::SetErrorSink(nullptr); }

    TMidiInput &Make()
    {
        input = std::make_unique<TMidiInput>(
            backend, TMidiInput::Handlers{
                         [this](std::uint32_t m) {
                             got.shorts.push_back(m);
                             got.threads.push_back(std::this_thread::get_id());
                         },
                         [this](const std::uint8_t *b, std::size_t n) { got.longs.emplace_back(b, b + n); },
                         [this] { ++got.gone; }});
        return *input;
    }

    TestBackend backend;
    Received got;
    std::unique_ptr<TMidiInput> input;
};

TEST_F(MidiInput, MessagesFromTheSourcesThreadReachTheHandlersOnTheMainThreadInOrder)
{
    ASSERT_TRUE(Make().Open(1));
    constexpr int count = 500;
    std::thread source([&] {
        for (int i = 0; i < count; ++i)
            backend.PlayInput({0x90, static_cast<std::uint8_t>(i % 128), static_cast<std::uint8_t>(i / 128 + 1)});
    });
    source.join(); // 500 fit the buffer: nothing is lost while the loop waits
    ProcessEventsUntil([&] { return got.shorts.size() == count; });
    ASSERT_EQ(got.shorts.size(), std::size_t{count});
    for (int i = 0; i < count; ++i)
        EXPECT_EQ(got.shorts[i], 0x90u | (i % 128) << 8 | (i / 128 + 1) << 16);
    for (const auto &id : got.threads)
        EXPECT_EQ(id, std::this_thread::get_id());
    EXPECT_EQ(input->Dropped(), 0u);
}

TEST_F(MidiInput, WhatPassesTheCallback)
{
    struct Case {
        std::vector<std::uint8_t> bytes;
        std::vector<std::uint32_t> shorts;
        std::size_t longs;
    };
    const std::vector<Case> cases{
        {{0xFE}, {}, 0},                   // active sensing
        {{0xF8}, {}, 0},                   // timing clock
        {{0xC3, 0x05}, {0x05C3}, 0},       // two bytes
        {{0xE0, 0x00, 0x40}, {0x4000E0}, 0},
        {{0x40, 0x12}, {}, 0},             // a stray data byte
        {{0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7}, {}, 1},
    };
    Make().Open(0);
    for (const Case &c : cases) {
        got = {};
        backend.PlayInput(c.bytes);
        ProcessEventsUntil([&] { return false; }, 50);
        EXPECT_EQ(got.shorts, c.shorts) << int(c.bytes[0]);
        ASSERT_EQ(got.longs.size(), c.longs) << int(c.bytes[0]);
        if (c.longs == 1) {
            EXPECT_EQ(got.longs[0], c.bytes);
        }
    }
}

TEST_F(MidiInput, LongMessagesGiveTheirHeadersBackSoThePoolNeverRunsDry)
{
    Make().Open(0);
    const std::size_t rounds = 3 * InputHeaderPool::Headers;
    for (std::size_t i = 0; i < rounds; ++i) {
        backend.PlayInput({0xF0, static_cast<std::uint8_t>(i & 0x7F), 0xF7});
        ProcessEventsUntil([&] { return got.longs.size() == i + 1; });
    }
    ASSERT_EQ(got.longs.size(), rounds);
    EXPECT_EQ(got.longs.back()[1], (rounds - 1) & 0x7F);
    EXPECT_EQ(input->Dropped(), 0u);
}

TEST_F(MidiInput, ALongMessageTheHeadersCannotHoldIsCountedAsLost)
{
    Make().Open(0);
    std::vector<std::uint8_t> tooLong(InputHeaderPool::BytesPerHeader + 1, 0x01);
    tooLong.front() = 0xF0;
    tooLong.back() = 0xF7;
    backend.PlayInput(tooLong);
    ProcessEventsUntil([&] { return input->Dropped() == 1; });
    EXPECT_EQ(input->Dropped(), 1u);
    EXPECT_TRUE(got.longs.empty());
}

TEST_F(MidiInput, AFullBufferDropsTheEntryCountsItAndSaysSoOnce)
{
    Make().Open(0);
    // Played on the main thread: nothing is drained until the loop runs.
    const int extra = 5;
    for (int i = 0; i < TMidiInput::BufferCapacity + extra; ++i)
        backend.PlayInput({0xB0, 7, static_cast<std::uint8_t>(i & 0x7F)});
    ProcessEventsUntil([&] { return got.shorts.size() == TMidiInput::BufferCapacity && !errors.empty(); });
    ASSERT_EQ(got.shorts.size(), std::size_t{TMidiInput::BufferCapacity});
    // The first entries are kept, the later ones dropped.
    EXPECT_EQ(got.shorts.back(), 0x07B0u | ((TMidiInput::BufferCapacity - 1) & 0x7F) << 16);
    ProcessEventsUntil([&] { return input->Dropped() == extra; });
    EXPECT_EQ(input->Dropped(), std::uint32_t{extra});
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].find("dropped"), std::string::npos) << errors[0];

    // The buffer works again once drained.
    got = {};
    backend.PlayInput({0x90, 60, 1});
    ProcessEventsUntil([&] { return got.shorts.size() == 1; });
    EXPECT_EQ(got.shorts, std::vector<std::uint32_t>{0x013C90});
}

TEST_F(MidiInput, ASourceThatGoesClosesTheInputAndIsToldOnce)
{
    Make().Open(1);
    backend.LoseSources();
    ProcessEventsUntil([&] { return got.gone > 0; });
    EXPECT_EQ(got.gone, 1);
    EXPECT_FALSE(input->IsOpen());
    EXPECT_TRUE(backend.OpenInputs().empty());
    // Chosen again, it opens again.
    EXPECT_TRUE(input->Open(1));
    EXPECT_EQ(input->InputID(), 1);
}

TEST_F(MidiInput, ClosingDropsWhatIsStillBufferedAndStopsTheSource)
{
    Make().Open(0);
    backend.PlayInput({0x90, 60, 100});
    input->Close();
    ProcessEventsUntil([&] { return false; }, 50);
    EXPECT_TRUE(got.shorts.empty());
    EXPECT_TRUE(backend.OpenInputs().empty());
    EXPECT_EQ(input->InputID(), -1);
}

TEST_F(MidiInput, AFailedOpenLeavesTheInputClosedWithTheBackEndsCode)
{
    backend.failures[TestBackend::Op::OpenInput] = MIDIERR_PORTGONE;
    EXPECT_FALSE(Make().Open(0));
    EXPECT_EQ(input->LastResult(), MIDIERR_PORTGONE);
    EXPECT_FALSE(input->IsOpen());
    EXPECT_FALSE(input->Open(7 - 7 + 2)); // no such source
}

TEST(SystemBackendInputs, ThePartsSourcesAreOneListAndEachOpenReachesItsPart)
{
    auto first = std::make_unique<TestBackend>();
    auto second = std::make_unique<TestBackend>();
    first->sources = {"Keys", "Pads"};
    second->sources = {"Keys"};
    TestBackend *a = first.get(), *b = second.get();
    std::vector<std::unique_ptr<MidiBackend>> parts;
    parts.push_back(std::move(first));
    parts.push_back(std::move(second));
    SystemBackend system(std::move(parts));

    ASSERT_EQ(system.InputCount(), 3u);
    std::vector<std::string> names(3);
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(system.GetInputName(i, &names[i]), 0u);
    EXPECT_EQ(names, (std::vector<std::string>{"Keys", "Pads", "Keys #2"}));

    Received got;
    TMidiInput input(system, {[&](std::uint32_t m) { got.shorts.push_back(m); }, {}, [&] { ++got.gone; }});
    ASSERT_TRUE(input.Open(2));
    EXPECT_TRUE(a->OpenInputs().empty());
    ASSERT_EQ(b->OpenInputs().size(), 1u);
    b->PlayInput({0x80, 64, 0});
    ProcessEventsUntil([&] { return !got.shorts.empty(); });
    EXPECT_EQ(got.shorts, std::vector<std::uint32_t>{0x4080});
    input.Close();
    EXPECT_TRUE(b->OpenInputs().empty());
    EXPECT_NE(system.CloseInput(12345), 0u);
}

} // namespace
