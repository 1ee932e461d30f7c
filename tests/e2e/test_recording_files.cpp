// A recording as a user keeps it: played into the real window, saved through
// the program's own save dialog, and opened again the way a file manager
// opens it (the file on the command line).

#include "e2e/PlayingWindow.h"

#include <gtest/gtest.h>

#include <X11/keysym.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace e2e {
namespace {

namespace fs = std::filesystem;

using std::chrono::milliseconds;

// The native recording of `messages` sent at `ticks`: for each, the tick as
// 32 bits little-endian, then the status and two data bytes, a missing one 0.
Bytes NativeRecording(const std::vector<Bytes> &messages, const std::vector<std::uint32_t> &ticks)
{
    Bytes file;
    for (std::size_t i = 0; i < messages.size(); ++i) {
        for (int shift = 0; shift < 32; shift += 8)
            file.push_back(static_cast<std::uint8_t>(ticks[i] >> shift));
        for (std::size_t b = 0; b < 3; ++b)
            file.push_back(b < messages[i].size() ? messages[i][b] : 0);
    }
    return file;
}

// The messages as hex, one group per message, for failure reports.
std::string Hex(const std::vector<Arrival> &arrivals)
{
    std::string text;
    char digits[4];
    for (const Arrival &a : arrivals) {
        for (const std::uint8_t b : a.bytes) {
            std::snprintf(digits, sizeof digits, "%02X", b);
            text += digits;
        }
        text += ' ';
    }
    return text;
}

Bytes ReadFile(const std::string &name)
{
    std::ifstream file(name, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

TEST_F(PlayingWindow, SavedRecordingHoldsWhatWasPlayedAndPlaysAgain)
{
    const auto late = [&] { return "; JACK cycles run late: " + std::to_string(input->Xruns()); };
    Start();
    const XInput in(display.Connection());
    Click(RecordButton);
    input->WaitForMore(1, IsNoteOrProgram); // the instrument, at tick 0
    // A melody the user plays: a held PC key, a clicked piano key, a chord.
    in.Key(in.KeycodeOf(XK_z), true);
    input->WaitForMore(1, IsNote);
    Hold(milliseconds(250));
    in.Key(in.KeycodeOf(XK_z), false);
    input->WaitForMore(1, IsNote);
    Hold(milliseconds(120));
    in.MoveTo(KeyPoint(22));
    in.Button(true);
    input->WaitForMore(1, IsNote);
    Hold(milliseconds(180));
    in.Button(false);
    input->WaitForMore(1, IsNote);
    in.Key(in.KeycodeOf(XK_x), true);
    in.Key(in.KeycodeOf(XK_c), true);
    input->WaitForMore(2, IsNote);
    Hold(milliseconds(150));
    in.Key(in.KeycodeOf(XK_x), false);
    in.Key(in.KeycodeOf(XK_c), false);
    const std::vector<Arrival> played = input->WaitForMore(2, IsNote);
    ASSERT_EQ(played.size(), 9u) << "an instrument and eight note messages: " << Hex(played) << late();
    ASSERT_EQ(played.front().bytes, (Bytes{0xC0, 0}));
    Click(StopButton);

    const std::string saved = program->Folder() + "/Gespielt.vsq";
    ASSERT_NO_FATAL_FAILURE(SaveThroughDialog(saved));

    // Each message as it arrived, with the 50 ms tick at which it was sent.
    // The tick counts clock steps since "Aufnahme": it lies within a step of
    // the time since the instrument arrived, and by the same fraction of a
    // step for every message (the clock's phase), give or take a JACK period
    // and the clock's jitter.
    const Bytes file = ReadFile(saved);
    ASSERT_EQ(file.size(), played.size() * 7);
    std::vector<Bytes> messages;
    std::vector<std::uint32_t> ticks;
    std::vector<double> phases;
    for (std::size_t i = 0; i < played.size(); ++i) {
        const std::uint32_t tick = file[7 * i] | file[7 * i + 1] << 8 | file[7 * i + 2] << 16
                                   | std::uint32_t(file[7 * i + 3]) << 24;
        const double steps = double(played[i].time - played.front().time) / 50000.0;
        EXPECT_NEAR(double(tick), steps, 1.25) << "message " << i;
        messages.push_back(played[i].bytes);
        ticks.push_back(tick);
        phases.push_back(double(tick) - steps);
    }
    EXPECT_LT(*std::max_element(phases.begin(), phases.end()) - *std::min_element(phases.begin(), phases.end()), 1.25);
    EXPECT_EQ(ticks.front(), 0u);
    EXPECT_EQ(file, NativeRecording(messages, ticks));
    ExpectCleanEnd(*program);

    // Opened again from the command line and played: the same messages, as
    // far apart as their ticks. The closed program keeps its folder, and the
    // file in it, until the test ends.
    const auto recorded = std::move(program);
    Start({}, {}, {saved});
    Click(PlayButton);
    // The stored instrument before the recording and again after it.
    const auto again = input->WaitForMore(messages.size() + 2, IsNoteOrProgram);
    std::vector<Arrival> replayed;
    for (const auto &a : again)
        if (IsNoteOrProgram(a.bytes))
            replayed.push_back(a);
    ASSERT_EQ(replayed.size(), messages.size() + 2) << Hex(replayed) << late();
    EXPECT_EQ(replayed.front().bytes, messages.front());
    EXPECT_EQ(replayed.back().bytes, messages.front());
    for (std::size_t i = 0; i < messages.size(); ++i) {
        EXPECT_EQ(replayed[i + 1].bytes, messages[i]) << "message " << i;
        const double apart = double(replayed[i + 1].time - replayed[1].time) / 1000.0;
        EXPECT_NEAR(apart, 50.0 * ticks[i], 30.0) << "message " << i;
    }
    ExpectCleanEnd(*program);
}

} // namespace
} // namespace e2e
