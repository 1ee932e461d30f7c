// What counting the devices costs: the first count of a new system back end
// (it connects to ALSA and JACK) and every later one (the device component
// counts on each selection). Run once with the JACK server and once without:
//
//   JACK_DEFAULT_SERVER=none ./bench_midi_out_count

#include "bench_midi_out_common.h"

#include "midi_out/SystemBackend.h"

using namespace midi_out;
using namespace bench_midi;

namespace {

void BM_CreateAndFirstCount(benchmark::State &state)
{
    std::vector<double> samples;
    std::uint32_t devices = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        auto backend = CreateSystemBackend();
        devices = backend->DeviceCount();
        samples.push_back(Microseconds(Clock::now() - start));
        state.PauseTiming();
        backend.reset();
        state.ResumeTiming();
    }
    ReportPercentiles(state, std::move(samples));
    state.counters["devices"] = devices;
}

void BM_CountAgain(benchmark::State &state)
{
    auto backend = CreateSystemBackend();
    std::uint32_t devices = backend->DeviceCount();
    std::vector<double> samples;
    for (auto _ : state) {
        const auto start = Clock::now();
        devices = backend->DeviceCount();
        samples.push_back(Microseconds(Clock::now() - start));
    }
    ReportPercentiles(state, std::move(samples));
    state.counters["devices"] = devices;
}

} // namespace

BENCHMARK(BM_CreateAndFirstCount)->Iterations(20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CountAgain)->Iterations(2000)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
