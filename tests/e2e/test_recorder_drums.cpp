// The drum accompaniment and the recorder as a user hears them: the timing of
// what arrives over JACK from the real program.

#include "support/HangBound.h"
#include "e2e/PlayingWindow.h"

#include <gtest/gtest.h>

#include <X11/keysym.h>

#include <algorithm>
#include <cmath>

namespace e2e {
namespace {

TEST_F(PlayingWindow, DrumPatternKeepsItsTempoAt300Bpm)
{
    ASSERT_NO_FATAL_FAILURE(Start("Beat=300\nDrums=1\n"));
    constexpr std::size_t Steps = 12;
    const auto isHiHat = [](const Arrival &a) { return a.bytes == Bytes{0x99, 42, 64}; };
    const auto hits = input->WaitUntil([&](const std::vector<Arrival> &all) {
        return std::size_t(std::count_if(all.begin(), all.end(), isHiHat)) >= Steps;
    });
    std::vector<Arrival> ons;
    for (const auto &a : hits)
        if (a.bytes.size() == 3 && a.bytes[0] == 0x99)
            ons.push_back(a);
    std::vector<jack_time_t> hiHats;
    for (const auto &a : ons)
        if (a.bytes[1] == 42)
            hiHats.push_back(a.time);
    ASSERT_GE(hiHats.size(), Steps);
    // Two steps per beat: 100 ms apart. Arrival times come in JACK periods
    // of 5.3 ms, so single gaps may differ by a period; their mean may not.
    std::vector<double> gaps;
    for (std::size_t i = 1; i < hiHats.size(); ++i)
        gaps.push_back(double(hiHats[i] - hiHats[i - 1]) / 1000.0);
    for (const double gap : gaps)
        EXPECT_NEAR(gap, 100.0, 12.0);
    const double mean = double(hiHats.back() - hiHats.front()) / 1000.0 / double(gaps.size());
    EXPECT_NEAR(mean, 100.0, 3.0);
    // Bass drum on every fourth step, snare two steps later, all at full
    // velocity; the hi-hat at 64.
    for (const auto &a : ons) {
        if (a.bytes[1] == 42)
            EXPECT_EQ(a.bytes[2], 64);
        else
            EXPECT_TRUE((a.bytes[1] == 36 || a.bytes[1] == 40) && a.bytes[2] == 127);
    }
    const auto count = [&](int note) {
        return std::count_if(ons.begin(), ons.end(), [&](const Arrival &a) { return a.bytes[1] == note; });
    };
    EXPECT_NEAR(double(count(36)), double(count(42)) / 4.0, 1.0);
    EXPECT_NEAR(double(count(40)), double(count(42)) / 4.0, 1.0);
}

TEST_F(PlayingWindow, RecordedNotesPlayBackWithTheirSpacingIn50MsSteps)
{
    ASSERT_NO_FATAL_FAILURE(Start());
    const XInput in(display.Connection());
    const unsigned z = in.KeycodeOf(XK_z);
    // The server hands the program its events in order: the click is taken
    // before the key. Recording sends nothing of its own to wait for.
    Click(RecordButton);
    in.Key(z, true);
    input->WaitForMore(1, IsNote);
    // The user holds the key for about a third of a second.
    Hold(std::chrono::milliseconds(330));
    in.Key(z, false);
    const auto live = Notes(input->WaitForMore(1, IsNote));
    ASSERT_EQ(live, (std::vector<Bytes>{On(38, 127), Off(38)}));
    const auto liveArrivals = input->Received();
    const double held = double(liveArrivals.back().time - liveArrivals.front().time) / 1000.0;

    input->Clear();
    Click(PlayButton);
    // Playback may have begun before the wait does.
    const auto played = input->WaitForTotal(2, IsNote);
    std::vector<Arrival> notes;
    for (const auto &a : played)
        if (IsNote(a.bytes))
            notes.push_back(a);
    ASSERT_EQ(notes.size(), 2u);
    EXPECT_EQ(notes[0].bytes, On(38, 127));
    EXPECT_EQ(notes[1].bytes, Off(38));
    const double replayed = double(notes[1].time - notes[0].time) / 1000.0;
    // Played back on the 50 ms clock: a whole number of steps, give or take
    // a JACK period on each arrival and the timer's jitter on a busy machine,
    // and the steps the key was held, give or take one.
    const double steps = replayed / 50.0;
    EXPECT_NEAR(steps, std::round(steps), 0.4) << replayed << " ms";
    EXPECT_NEAR(replayed, held, 55.0) << "held " << held << " ms, replayed " << replayed << " ms";
    EndLeavingTheTakeUnsaved();
}

} // namespace
} // namespace e2e
