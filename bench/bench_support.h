#pragma once
// Shared by every benchmark program: percentiles of collected samples as
// benchmark counters, and a main that runs the benchmarks under a Qt
// application object (the device component and the windows need one).

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <vector>

namespace bench_support {

using Clock = std::chrono::steady_clock;

// The value below which `fraction` of `values` lie (the largest for 1);
// 0 for none.
inline double Percentile(std::vector<double> values, double fraction)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, static_cast<std::size_t>(fraction * values.size()))];
}

// Sets median, 99th percentile and maximum of `samples` (microseconds) as counters.
inline void ReportPercentiles(benchmark::State &state, std::vector<double> samples)
{
    if (samples.empty())
        return;
    std::sort(samples.begin(), samples.end());
    const auto at = [&](double fraction) {
        return samples[std::min(samples.size() - 1, static_cast<std::size_t>(fraction * samples.size()))];
    };
    state.counters["median_us"] = at(0.5);
    state.counters["p99_us"] = at(0.99);
    state.counters["max_us"] = samples.back();
    state.counters["samples"] = static_cast<double>(samples.size());
}

inline double Microseconds(Clock::duration duration)
{
    return std::chrono::duration<double, std::micro>(duration).count();
}

// Runs the registered benchmarks with the command line's options.
inline int RunBenchmarks(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

// Runs the registered benchmarks while an application object of type `App` lives.
template <typename App>
int RunUnder(int argc, char **argv)
{
    App application(argc, argv);
    return RunBenchmarks(argc, argv);
}

} // namespace bench_support
