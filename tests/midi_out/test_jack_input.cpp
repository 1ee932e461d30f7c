// A JACK source read through the JACK back end: the exact bytes arrive, and
// a source that goes is told once and opens again when it is back.

#include "midi_out/JackBackend.h"
#include "midi_out/MidiIn.h"
#include "support/EventLoop.h"
#include "support/JackMidiSource.h"

#include <gtest/gtest.h>

#include <unistd.h>

using namespace midi_out;
using testing_support::ProcessEventsUntil;

namespace {

bool OpenSource(JackBackend &backend, TMidiInput &input, const std::string &name)
{
    backend.RefreshInputs();
    for (std::uint32_t i = 0; i < backend.InputCount(); ++i) {
        std::string listed;
        if (backend.GetInputName(std::int32_t(i), &listed) == 0 && listed == name)
            return input.Open(std::int32_t(i));
    }
    return false;
}

TEST(JackInput, WhatTheSourcePlaysArrivesWholeAndASourceThatGoesIsToldOnce)
{
    const std::string client = "sonoret-test-keys-" + std::to_string(getpid());
    auto source = std::make_unique<testing_support::JackMidiSource>(client);
    JackBackend backend;
    std::vector<std::vector<std::uint8_t>> got;
    int gone = 0;
    TMidiInput input(backend, {[&](std::uint32_t m) { got.push_back({std::uint8_t(m), std::uint8_t(m >> 8), std::uint8_t(m >> 16)}); },
                               [&](const std::uint8_t *b, std::size_t n) { got.emplace_back(b, b + n); },
                               [&] { ++gone; }});
    ASSERT_TRUE(OpenSource(backend, input, source->PortName()));
    ProcessEventsUntil([] { return false; }, 100); // the connection takes a cycle
    const std::vector<std::vector<std::uint8_t>> played{{0x90, 60, 100}, {0xF0, 0x7D, 1, 2, 0xF7}, {0xE3, 0x7F, 0x7F}};
    for (const auto &message : played)
        source->Play(message);
    source->Play({0xFE}); // active sensing: dropped
    ProcessEventsUntil([&] { return got.size() >= played.size(); });
    EXPECT_EQ(got, played);

    const std::string port = source->PortName();
    source->Close();
    ProcessEventsUntil([&] { return gone > 0; });
    ProcessEventsUntil([] { return false; }, 100);
    EXPECT_EQ(gone, 1);
    EXPECT_FALSE(input.IsOpen());

    source = std::make_unique<testing_support::JackMidiSource>(client);
    ASSERT_TRUE(OpenSource(backend, input, port));
    ProcessEventsUntil([] { return false; }, 100);
    got.clear();
    source->Play({0x80, 60, 0});
    ProcessEventsUntil([&] { return !got.empty(); });
    EXPECT_EQ(got, (std::vector<std::vector<std::uint8_t>>{{0x80, 60, 0}}));
    input.Close();
    ProcessEventsUntil([] { return false; }, 100);
    EXPECT_EQ(gone, 1); // our own close is no loss
}

} // namespace
