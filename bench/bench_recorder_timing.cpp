// The drum timer and the 50 ms clock in a real event loop: the error of each
// drum interval at 120 and 300 beats per minute over 400 hits, and how far
// tick 1200 of the clock lies from 1200 x 50 ms after its start.

#include "bench_support.h"
#include "midi_out/MidiOut.h"
#include "recorder/DrumPattern.h"
#include "recorder/SteadyTimer.h"
#include "recorder/Transport.h"
#include "support/TestBackend.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <memory>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

double Percentile(std::vector<double> sorted, double p)
{
    std::sort(sorted.begin(), sorted.end());
    const auto index = static_cast<std::size_t>(std::ceil(p * sorted.size())) - 1;
    return sorted[std::min(index, sorted.size() - 1)];
}

// Sends the drum hits to the device component on the test back end, as the
// window's note path does, and notes when each step went out.
class DeviceSink : public recorder::NoteSink {
public:
    explicit DeviceSink(midi_out::TMidiOutput &device) : device_(device) {}
    void SendNote(std::uint8_t status, std::uint8_t data1, std::uint8_t data2) override
    {
        device_.SendShortMessage(status, data1, data2);
    }

private:
    midi_out::TMidiOutput &device_;
};

// Qt's own repeating precise timer, for comparison under the same load.
class QtRepeatingTimer : public QObject {
public:
    QtRepeatingTimer() { timer_.setTimerType(Qt::PreciseTimer); }
    void SetInterval(int ms) { timer_.setInterval(ms); }
    void Start() { timer_.start(); }
    void Stop() { timer_.stop(); }
    const QTimer *Signal() const { return &timer_; }
    static constexpr auto Timeout = &QTimer::timeout;

private:
    QTimer timer_;
};

class SteadyTimerUnderTest : public recorder::SteadyTimer {
public:
    const recorder::SteadyTimer *Signal() const { return this; }
    static constexpr auto Timeout = &recorder::SteadyTimer::Timeout;
};

template <class Timer>
void DrumIntervalError(benchmark::State &state)
{
    const int tempo = static_cast<int>(state.range(0));
    const int hits = 400;
    const double nominal = recorder::DrumPattern::IntervalMs(tempo);

    std::vector<double> errors;
    double drift = 0;
    for (auto _ : state) {
        midi_out::TMidiOutput device(
            std::make_unique<midi_out::TestBackend>(std::vector<std::string>{"Test"}));
        device.SetDeviceID(0);
        device.OpenDevice();
        DeviceSink sink(device);
        recorder::DrumPattern pattern(sink);

        Timer timer;
        timer.SetInterval(recorder::DrumPattern::IntervalMs(tempo));
        QEventLoop loop;
        std::vector<Clock::time_point> stamps;
        stamps.reserve(hits + 1);
        QObject::connect(timer.Signal(), Timer::Timeout, [&] {
            pattern.Tick();
            stamps.push_back(Clock::now());
            if (stamps.size() == hits + 1u) {
                timer.Stop();
                loop.quit();
            }
        });
        const auto start = Clock::now();
        timer.Start();
        loop.exec();

        errors.clear();
        for (int i = 1; i <= hits; ++i)
            errors.push_back(std::abs(Ms(stamps[i] - stamps[i - 1]) - nominal));
        drift = Ms(stamps[hits] - start) - (hits + 1) * nominal;
    }
    state.counters["interval_ms"] = nominal;
    state.counters["err_median_ms"] = Percentile(errors, 0.5);
    state.counters["err_p99_ms"] = Percentile(errors, 0.99);
    state.counters["err_worst_ms"] = *std::max_element(errors.begin(), errors.end());
    state.counters["last_hit_drift_ms"] = drift;
}
BENCHMARK_TEMPLATE(DrumIntervalError, SteadyTimerUnderTest)
    ->Arg(120)
    ->Arg(300)
    ->Iterations(1)
    ->Unit(benchmark::kSecond);
BENCHMARK_TEMPLATE(DrumIntervalError, QtRepeatingTimer)
    ->Arg(300)
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

void ClockDriftAtTick1200(benchmark::State &state)
{
    const int ticks = 1200;
    double drift = 0;
    std::vector<double> lateness;
    for (auto _ : state) {
        recorder::SteadyTimer timer;
        timer.SetInterval(recorder::Transport::ClockIntervalMs);
        QEventLoop loop;
        int count = 0;
        Clock::time_point start;
        QObject::connect(&timer, &recorder::SteadyTimer::Timeout, [&] {
            ++count;
            const double late = Ms(Clock::now() - start) - count * 50.0;
            lateness.push_back(std::abs(late));
            if (count == ticks) {
                drift = late;
                timer.Stop();
                loop.quit();
            }
        });
        start = Clock::now();
        timer.Start();
        loop.exec();
    }
    state.counters["tick1200_drift_ms"] = drift;
    state.counters["late_median_ms"] = Percentile(lateness, 0.5);
    state.counters["late_p99_ms"] = Percentile(lateness, 0.99);
    state.counters["late_worst_ms"] = *std::max_element(lateness.begin(), lateness.end());
}
BENCHMARK(ClockDriftAtTick1200)->Iterations(1)->Unit(benchmark::kSecond);

} // namespace

int main(int argc, char **argv)
{
    // The component's notification window and the timers need an event loop's thread.
    return bench_support::RunUnder<QCoreApplication>(argc, argv);
}
