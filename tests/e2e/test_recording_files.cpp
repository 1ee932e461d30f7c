// A recording as a user keeps it: played into the real window, saved through
// the program's own save dialog, and opened again the way a file manager
// opens it (the file on the command line).

#include "e2e/PlayingWindow.h"

#include <gtest/gtest.h>

#include <X11/keysym.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
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
    ASSERT_NO_FATAL_FAILURE(Start());
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
    ASSERT_NO_FATAL_FAILURE(Start({}, {}, {saved}));
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


// A song file another program wrote (format 1, its tempo in the first track,
// 96 ticks a quarter), opened from the command line as a file manager opens
// it and played through the test's port at its own pace.
TEST_F(PlayingWindow, AMidiFileFromAnotherProgramOpensAndPlaysAtItsTempo)
{
    if (!fs::exists("/usr/bin/python3"))
        GTEST_SKIP() << "/usr/bin/python3 missing";
    const fs::path folder = fs::temp_directory_path() / ("sonoret-e2e-song-" + std::to_string(getpid()));
    fs::create_directories(folder);
    const std::string song = (folder / "Lied.MID").string();
    const std::string script = "import mido, sys\n"
                               "f = mido.MidiFile(type=1, ticks_per_beat=96)\n"
                               "f.tracks.append(mido.MidiTrack([mido.MetaMessage('set_tempo', tempo=600000)]))\n"
                               "f.tracks.append(mido.MidiTrack([mido.Message('note_on', note=60, velocity=100, time=0),\n"
                               "    mido.Message('note_off', note=60, velocity=64, time=48),\n"
                               "    mido.Message('note_on', note=64, velocity=90, time=48),\n"
                               "    mido.Message('note_off', note=64, velocity=64, time=96)]))\n"
                               "f.save(sys.argv[1])\n";
    std::ofstream((folder / "song.py").string()) << script;
    ASSERT_EQ(std::system(("/usr/bin/python3 " + (folder / "song.py").string() + " " + song).c_str()), 0);

    ASSERT_NO_FATAL_FAILURE(Start({}, {}, {song}));
    Click(PlayButton);
    // The stored instrument, the song's four notes, the instrument again.
    const std::vector<Bytes> expected{{0x90, 60, 100}, {0x80, 60, 64}, {0x90, 64, 90}, {0x80, 64, 64}};
    const std::vector<double> at{0, 300, 600, 1200}; // ms: 48 ticks are half a 600 ms quarter
    const auto arrived = input->WaitForMore(expected.size() + 2, IsNoteOrProgram);
    std::vector<Arrival> played;
    for (const auto &a : arrived)
        if (IsNote(a.bytes))
            played.push_back(a);
    ASSERT_EQ(played.size(), expected.size()) << Hex(arrived);
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(played[i].bytes, expected[i]) << "message " << i;
        EXPECT_NEAR(double(played[i].time - played[0].time) / 1000.0, at[i], 50.0) << "message " << i;
    }
    ExpectCleanEnd(*program);
    fs::remove_all(folder);
}

} // namespace
} // namespace e2e
