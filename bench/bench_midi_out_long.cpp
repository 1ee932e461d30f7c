// SendLongMessage to a JACK port through the device component and the system
// back end: the cost of the call itself (the benchmark's time, and the
// call_* counters), and the delay from the send to Onmidioutput (done_*),
// which includes the port's process cycles. Messages of 3, 100 and 4096
// bytes, one at a time, each awaited before the next.
//
//   JACK_NO_START_SERVER=1 JACK_NO_AUDIO_RESERVATION=1 jackd --no-realtime -d dummy -r 48000 -p 256 &
//   ./bench_midi_out_long

#include "bench_midi_out_common.h"

#include "midi_out/MidiOut.h"

#include <QCoreApplication>

#include <vector>

using namespace midi_out;
using namespace bench_midi;

namespace {

void SetPercentiles(benchmark::State &state, const std::string &prefix, std::vector<double> samples)
{
    if (samples.empty())
        return;
    std::sort(samples.begin(), samples.end());
    const auto at = [&](double fraction) {
        return samples[std::min(samples.size() - 1, static_cast<std::size_t>(fraction * samples.size()))];
    };
    state.counters[prefix + "median_us"] = at(0.5);
    state.counters[prefix + "p99_us"] = at(0.99);
}

void BM_JackLongMessage(benchmark::State &state)
{
    JackTarget jack = OpenOnReceiver(state);
    if (!jack.out)
        return;
    TMidiOutput &out = *jack.out;
    const auto length = static_cast<std::uint16_t>(state.range(0));
    std::vector<std::uint8_t> message(length, 0x11);
    message.front() = 0xF0;
    message[1] = 0x7D;
    message.back() = 0xF7;

    Clock::time_point done;
    bool finished = false;
    out.Onmidioutput = [&](TMidiOutput *) {
        done = Clock::now();
        finished = true;
    };
    std::vector<double> calls, delays;
    for (auto _ : state) {
        finished = false;
        const auto start = Clock::now();
        out.SendLongMessage(message.data(), length);
        const auto returned = Clock::now();
        state.PauseTiming();
        const auto deadline = returned + std::chrono::seconds(2);
        while (!finished && Clock::now() < deadline)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
        if (!finished) {
            state.SkipWithError("Onmidioutput did not come");
            return;
        }
        calls.push_back(Microseconds(returned - start));
        delays.push_back(Microseconds(done - start));
        state.ResumeTiming();
    }
    SetPercentiles(state, "call_", std::move(calls));
    SetPercentiles(state, "done_", std::move(delays));
    state.counters["period_us"] = 1e6 * jack.server.period / jack.server.rate;
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * length);
}

} // namespace

BENCHMARK(BM_JackLongMessage)->Arg(3)->Arg(100)->Arg(4096)->Iterations(500)->Unit(benchmark::kMicrosecond);

int main(int argc, char **argv)
{
    // The component's notification window and the timers need an event loop's thread.
    return bench_support::RunUnder<QCoreApplication>(argc, argv);
}
