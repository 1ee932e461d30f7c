#include "recorder/SteadyTimer.h"

#include <gtest/gtest.h>

namespace {

using recorder::TickSchedule;
using ms = std::chrono::milliseconds;

const TickSchedule::TimePoint T0 = TickSchedule::TimePoint(std::chrono::hours(1));

TickSchedule Started(int interval)
{
    TickSchedule schedule;
    schedule.SetInterval(ms(interval), T0);
    schedule.Start(T0);
    return schedule;
}

TEST(TickSchedule, LateFiringsDoNotAccumulate)
{
    TickSchedule schedule = Started(50);
    EXPECT_EQ(schedule.NextDue(), T0 + ms(50));
    // Every firing 1..30 ms late: tick n stays due at n x 50 ms.
    for (int n = 1; n <= 1200; ++n)
        schedule.Fired(T0 + ms(50 * n + 1 + n % 30));
    EXPECT_EQ(schedule.NextDue(), T0 + ms(50 * 1201));
}

TEST(TickSchedule, StallOfMoreThanAnIntervalRestartsFromNow)
{
    TickSchedule schedule = Started(100);
    schedule.Fired(T0 + ms(190)); // 90 ms late: catch up
    EXPECT_EQ(schedule.NextDue(), T0 + ms(200));
    schedule.Fired(T0 + ms(450)); // next would be due at 300, a burst
    EXPECT_EQ(schedule.NextDue(), T0 + ms(550));
}

TEST(TickSchedule, IntervalChangeTakesEffectFromTheNextTick)
{
    TickSchedule schedule = Started(250);
    schedule.Fired(T0 + ms(250));
    schedule.Fired(T0 + ms(500));
    schedule.SetInterval(ms(100), T0 + ms(530));
    EXPECT_EQ(schedule.NextDue(), T0 + ms(600));
    schedule.Fired(T0 + ms(600));
    EXPECT_EQ(schedule.NextDue(), T0 + ms(700));

    // From a long interval to a short one long after the last firing.
    schedule.SetInterval(ms(30000), T0 + ms(700));
    schedule.SetInterval(ms(100), T0 + ms(20000));
    EXPECT_EQ(schedule.NextDue(), T0 + ms(20100));
}

TEST(TickSchedule, ResumeAfterAPauseKeepsTheBeatOfTheStart)
{
    const struct {
        int pausedUntil;
        int nextDue;
    } cases[] = {{80, 100}, {1234, 1250}, {1300, 1350}};
    for (const auto &c : cases) {
        TickSchedule schedule = Started(50);
        schedule.Fired(T0 + ms(50));
        schedule.Resume(T0 + ms(c.pausedUntil));
        EXPECT_EQ(schedule.NextDue(), T0 + ms(c.nextDue)) << c.pausedUntil;
    }
}

} // namespace
