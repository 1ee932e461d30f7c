#include "recorder/SteadyTimer.h"

#include "common/GuardedConnect.h"

#include <algorithm>

namespace recorder {

void TickSchedule::Start(TimePoint now)
{
    origin_ = now;
    fired_ = 0;
}

void TickSchedule::Resume(TimePoint now)
{
    if (interval_ <= Duration(0) || now < origin_) {
        Start(now);
        return;
    }
    fired_ = (now - origin_) / interval_;
}

void TickSchedule::RestartIfStalled(TimePoint now)
{
    if (NextDue() + interval_ < now)
        Start(now);
}

void TickSchedule::Fired(TimePoint now)
{
    ++fired_;
    RestartIfStalled(now);
}

void TickSchedule::SetInterval(Duration interval, TimePoint now)
{
    origin_ = Due(fired_);
    fired_ = 0;
    interval_ = std::max(interval, Duration(0));
    RestartIfStalled(now);
}

SteadyTimer::SteadyTimer(QObject *parent) : QObject(parent)
{
    timer_.setSingleShot(true);
    // Coarse timers may fire up to 5 % late: audible at musical intervals.
    timer_.setTimerType(Qt::PreciseTimer);
    common::GuardedConnect(&timer_, &QTimer::timeout, this, &SteadyTimer::Fire);
    // A Resume before any Start keeps the beat from here.
    schedule_.Start(TickSchedule::Clock::now());
}

void SteadyTimer::Start()
{
    active_ = true;
    schedule_.Start(TickSchedule::Clock::now());
    Arm();
}

void SteadyTimer::Resume()
{
    if (active_)
        return;
    active_ = true;
    schedule_.Resume(TickSchedule::Clock::now());
    Arm();
}

void SteadyTimer::Stop()
{
    active_ = false;
    timer_.stop();
}

void SteadyTimer::SetInterval(int milliseconds) { SetInterval(std::chrono::milliseconds(milliseconds)); }

void SteadyTimer::SetInterval(TickSchedule::Duration interval)
{
    schedule_.SetInterval(interval, TickSchedule::Clock::now());
    if (active_)
        Arm();
}

void SteadyTimer::Arm()
{
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(schedule_.NextDue()
                                                                   - TickSchedule::Clock::now());
    timer_.start(std::max(wait, std::chrono::milliseconds(0)));
}

void SteadyTimer::Fire()
{
    if (!active_)
        return;
    schedule_.Fired(TickSchedule::Clock::now());
    // Armed before the handlers run, so that they may stop or change it.
    Arm();
    emit Timeout();
}

} // namespace recorder
