#pragma once
// A repeating timer for musical time. Each firing is scheduled against the
// time the timer was started, not against the previous firing, so a late
// firing does not delay the ones after it and the error stays within the
// platform timer's jitter however long it runs.

#include <QObject>
#include <QTimer>

#include <chrono>
#include <cstdint>

namespace recorder {

// The arithmetic of the timer, apart from any event loop.
class TickSchedule {
public:
    using Clock = std::chrono::steady_clock;
    using TimePoint = Clock::time_point;
    // Fine enough that a beat's interval (60 s / tempo) is kept to the
    // microsecond: whole milliseconds drift audibly over minutes.
    using Duration = std::chrono::microseconds;

    // The first firing is due one interval after `now`.
    void Start(TimePoint now);

    // Counting goes on after a pause on the grid of the last start, as if
    // the firings had gone on meanwhile: the next one is the first of that
    // grid after `now`.
    void Resume(TimePoint now);

    // The firing that was due has happened at `now`. After a stall of more
    // than one interval (a suspended machine, a long blocking call) counting
    // starts afresh from `now` instead of catching up with a burst.
    void Fired(TimePoint now);

    // The next firing comes one new interval after the last one (or after
    // the start), so a change takes effect from the next tick; if that is
    // already more than an interval ago at `now`, from `now`.
    void SetInterval(Duration interval, TimePoint now);
    Duration Interval() const { return interval_; }

    TimePoint NextDue() const { return Due(fired_ + 1); }

private:
    void RestartIfStalled(TimePoint now);
    TimePoint Due(std::int64_t firing) const { return origin_ + firing * interval_; }

    Duration interval_{0};
    TimePoint origin_{};
    std::int64_t fired_ = 0; // firings since origin_
};

class SteadyTimer : public QObject {
    Q_OBJECT
public:
    explicit SteadyTimer(QObject *parent = nullptr);

    // Starts (or restarts) from now.
    void Start();
    // Runs again after a Stop without moving its beat: the firings fall
    // where they would have fallen had it run on since the last Start, or
    // since its creation. Nothing when it runs.
    void Resume();
    void Stop();
    bool IsActive() const { return active_; }

    void SetInterval(int milliseconds);
    void SetInterval(TickSchedule::Duration interval);
    // Whole milliseconds.
    int Interval() const
    {
        return static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(schedule_.Interval()).count());
    }

signals:
    void Timeout();

private:
    void Fire();
    void Arm();

    QTimer timer_;
    TickSchedule schedule_;
    bool active_ = false;
};

} // namespace recorder
