#include "recorder/DrumPattern.h"
#include "recorder/Metronome.h"
#include "recorder/SteadyTimer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <vector>

namespace {

using recorder::Metronome;
using recorder::TickSchedule;

struct Click {
    double atMs;
    std::uint8_t status, note;
};

struct Clicks : recorder::NoteSink {
    void SendNote(std::uint8_t status, std::uint8_t note, std::uint8_t) override { sent.push_back({nowMs, status, note}); }
    std::vector<Click> Ons() const
    {
        std::vector<Click> ons;
        for (const Click &c : sent)
            if (c.status == recorder::DrumNoteOn)
                ons.push_back(c);
        return ons;
    }
    double nowMs = 0;
    std::vector<Click> sent;
};

// The drum timer driven by its own schedule, each firing late by up to 30 ms
// as a busy window makes it, for `minutes`.
void RunFor(Metronome &metronome, Clicks &clicks, int tempo, double minutes)
{
    const TickSchedule::TimePoint start{std::chrono::hours(1)};
    TickSchedule schedule;
    schedule.SetInterval(recorder::DrumPattern::Interval(tempo), start);
    schedule.Start(start);
    for (int n = 0; schedule.NextDue() - start < std::chrono::duration<double, std::ratio<60>>(minutes); ++n) {
        const auto due = schedule.NextDue();
        clicks.nowMs = std::chrono::duration<double, std::milli>(due - start).count();
        metronome.Step();
        schedule.Fired(due + std::chrono::milliseconds(n % 31));
    }
}

TEST(Metronome, ClicksStayOnTheBeatForMinutesAndAccentEachBar)
{
    for (const int tempo : {120, 173}) {
        SCOPED_TRACE(tempo);
        Clicks clicks;
        Metronome metronome(clicks, [] { return std::uint8_t{90}; });
        metronome.SwitchOn(0);
        RunFor(metronome, clicks, tempo, 2);
        const auto ons = clicks.Ons();
        ASSERT_GE(ons.size(), std::size_t(2 * tempo - 1));
        const double beatMs = 60000.0 / tempo;
        double worst = 0;
        for (std::size_t beat = 0; beat < ons.size(); ++beat) {
            worst = std::max(worst, std::abs(ons[beat].atMs - (beat + 1) * beatMs + beatMs / 2));
            EXPECT_EQ(ons[beat].note, beat % 4 == 0 ? Metronome::AccentNote : Metronome::BeatNote) << beat;
        }
        EXPECT_LT(worst, 1.0) << "ms off the ideal beat";
        // Each click ends the one before.
        EXPECT_EQ(clicks.sent.size(), 2 * ons.size() - 1);
    }
}

} // namespace
