// A JACK source read through the JACK back end and the input component: the
// exact bytes arrive, a source that goes is told once, and the open input
// costs the window's thread no wait on a server that is gone.

#include "midi_out/JackBackend.h"
#include "midi_out/MidiIn.h"
#include "midi_out/SystemBackend.h"
#include "support/EventLoop.h"
#include "support/JackMidiSource.h"

#include <gtest/gtest.h>

#include <unistd.h>

using namespace midi_out;
using testing_support::JackMidiSource;
using testing_support::ProcessEventsUntil;

namespace {

std::int32_t FindSource(MidiBackend &backend, const std::string &name)
{
    backend.RefreshInputs();
    for (std::uint32_t i = 0; i < backend.InputCount(); ++i) {
        std::string listed;
        if (backend.GetInputName(static_cast<std::int32_t>(i), &listed) == 0 && listed == name)
            return static_cast<std::int32_t>(i);
    }
    return -1;
}

class JackInput : public ::testing::Test {
protected:
    void SetUp() override
    {
        try {
            source = std::make_unique<JackMidiSource>("sonoret-test-keys-" + std::to_string(getpid()));
        } catch (const std::exception &error) {
            GTEST_SKIP() << error.what();
        }
        input = std::make_unique<TMidiInput>(
            backend, TMidiInput::Handlers{[this](std::uint32_t m) { shorts.push_back(m); },
                                          [this](const std::uint8_t *b, std::size_t n) { longs.emplace_back(b, b + n); },
                                          [this] { ++gone; }});
    }
    void TearDown() override { input.reset(); }

    bool OpenSource()
    {
        const std::int32_t id = FindSource(backend, source->PortName());
        return id >= 0 && input->Open(id);
    }

    JackBackend backend;
    std::unique_ptr<JackMidiSource> source;
    std::unique_ptr<TMidiInput> input;
    std::vector<std::uint32_t> shorts;
    std::vector<std::vector<std::uint8_t>> longs;
    int gone = 0;
};

TEST_F(JackInput, WhatTheSourcePlaysArrivesWhole)
{
    ASSERT_TRUE(OpenSource());
    // The connection takes effect with a cycle of the server's.
    ProcessEventsUntil([] { return false; }, 100);
    const std::vector<std::uint8_t> sysex{0xF0, 0x7D, 0x01, 0x02, 0x03, 0xF7};
    source->Play({0x90, 60, 100});
    source->Play({0xFE}); // active sensing: dropped
    source->Play(sysex);
    source->Play({0xE3, 0x7F, 0x7F});
    ProcessEventsUntil([&] { return shorts.size() == 2 && longs.size() == 1; });
    EXPECT_EQ(shorts, (std::vector<std::uint32_t>{0x643C90, 0x7F7FE3}));
    EXPECT_EQ(longs, std::vector<std::vector<std::uint8_t>>{sysex});
    EXPECT_EQ(gone, 0);
}

TEST_F(JackInput, ASourceThatGoesIsToldOnceAndOpensAgainWhenBack)
{
    ASSERT_TRUE(OpenSource());
    const std::string name = source->PortName();
    source->Close();
    ProcessEventsUntil([&] { return gone > 0; });
    ProcessEventsUntil([] { return false; }, 100);
    EXPECT_EQ(gone, 1);
    EXPECT_FALSE(input->IsOpen());

    source = std::make_unique<JackMidiSource>(name.substr(0, name.find(':')));
    ASSERT_TRUE(OpenSource());
    ProcessEventsUntil([] { return false; }, 100);
    source->Play({0x80, 60, 0});
    ProcessEventsUntil([&] { return !shorts.empty(); });
    EXPECT_EQ(shorts, std::vector<std::uint32_t>{0x3C80});
    EXPECT_EQ(gone, 1);
    EXPECT_TRUE(input->IsOpen());
}

TEST_F(JackInput, ClosingTheInputIsNoLossOfTheSource)
{
    ASSERT_TRUE(OpenSource());
    input->Close();
    ProcessEventsUntil([] { return false; }, 200);
    EXPECT_EQ(gone, 0);
    EXPECT_TRUE(OpenSource());
}

TEST_F(JackInput, OurOwnPortsAreNoSources)
{
    ASSERT_TRUE(OpenSource());
    backend.RefreshInputs();
    for (std::uint32_t i = 0; i < backend.InputCount(); ++i) {
        std::string name;
        backend.GetInputName(static_cast<std::int32_t>(i), &name);
        EXPECT_EQ(name.find("MIDI Sonoret"), std::string::npos) << name;
    }
}

} // namespace
