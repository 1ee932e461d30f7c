// MIDI input over JACK: the delay a message takes from a source port through
// the program's input and output to a sink port, against a direct JACK
// connection of the same two ports in the same run; and the CPU an open
// input costs while nothing arrives. The figures depend on the server's
// period; for the usual small one:
//
//   JACK_NO_START_SERVER=1 JACK_NO_AUDIO_RESERVATION=1 jackd --no-realtime -d dummy -r 48000 -p 64 &
//   ./bench_midi_out_jack_input
//
// The source plays 10,000 messages at 1,000 a second, each numbered in its
// data bytes and stamped in the cycle that writes it; the sink stamps each in
// the cycle that reads it. Counters are in microseconds; "lost" counts
// messages that never arrived, "xruns" the cycles the server ran late
// meanwhile (a client late in a cycle misses what it would read or write in
// it, so a loaded machine loses messages on the direct path as well),
// "through_input_received" what the input handed on, "through_forwarded"
// how much of it the back end had sent on itself (MIDI thru). Each variant
// runs with the window's thread free and kept busy as an opening menu keeps
// it.

#include "bench_jack_source_sink.h"
#include "bench_midi_out_common.h"

#include "midi_out/JackSupport.h"
#include "midi_out/MidiIn.h"
#include "midi_out/MidiOut.h"
#include "midi_out/SystemBackend.h"

#include "common/GuardedConnect.h"

#include <QCoreApplication>
#include <QTimer>

#include <jack/jack.h>
#include <jack/midiport.h>
#include <jack/ringbuffer.h>

#include <sys/resource.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <thread>

using namespace midi_out;
using namespace bench_midi;

namespace {

// Runs the event loop until the source has played everything and what is
// coming has arrived (or two seconds passed since the last message).
// The loop sleeps between events, as the program's does: a loop that spins
// would take the CPU from the server's threads and measure that instead.
void Idle(std::chrono::milliseconds span, const std::function<bool()> &done = [] { return false; })
{
    QTimer wake;
    wake.start(5);
    const auto end = Clock::now() + span;
    while (!done() && Clock::now() < end)
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

void PlayThrough(SourceAndSink &io)
{
    io.Start();
    Idle(std::chrono::milliseconds(1000 * Messages / PerSecond + 5000), [&] { return io.Done(); });
    Idle(std::chrono::seconds(2), [&] { return io.Arrived() >= Messages; });
}

void Report(benchmark::State &state, const char *prefix, std::vector<double> delays, std::size_t lost)
{
    std::sort(delays.begin(), delays.end());
    const auto at = [&](double q) {
        return delays.empty() ? 0.0 : delays[static_cast<std::size_t>(q * (delays.size() - 1))];
    };
    state.counters[std::string(prefix) + "_median_us"] = at(0.5);
    state.counters[std::string(prefix) + "_p99_us"] = at(0.99);
    state.counters[std::string(prefix) + "_lost"] = static_cast<double>(lost);
}

// Holds the window's thread as an opening instrument menu does (it lays
// out and paints 128 items): `span` of every `period`. It sleeps rather than
// spins, so that on a small machine the load takes no CPU from the JACK
// server and the clients it measures.
class BusyWindow {
public:
    BusyWindow(std::chrono::milliseconds span, std::chrono::milliseconds period)
    {
        common::GuardedConnect(&timer_, &QTimer::timeout, &timer_, [span] { std::this_thread::sleep_for(span); });
        timer_.start(static_cast<int>(period.count()));
    }

private:
    QTimer timer_;
};

std::int32_t InputNumberOf(MidiBackend &backend, const std::string &source)
{
    backend.RefreshInputs();
    for (std::uint32_t i = 0; i < backend.InputCount(); ++i) {
        std::string name;
        backend.GetInputName(static_cast<std::int32_t>(i), &name);
        if (name == source)
            return static_cast<std::int32_t>(i);
    }
    return -1;
}

// Arguments: whether the back end forwards (MIDI thru) or the window's
// thread sends what the input hands it, and whether that thread is kept busy
// meanwhile (5 ms of every 40).
void BM_JackInputToOutputAgainstDirect(benchmark::State &state)
{
    const bool thru = state.range(0) != 0;
    const bool busy = state.range(1) != 0;
    SourceAndSink io;
    if (!io.Ok()) {
        state.SkipWithError("no JACK server: start jackd");
        return;
    }
    TMidiOutput out(CreateSystemBackend());
    out.SetProductName(io.SinkName());
    if (!out.OpenDevice()) {
        state.SkipWithError("the sink did not open");
        return;
    }
    // Messages the input handed on: tells a loss on the way in from one on the way out.
    std::size_t handed = 0, forwarded = 0;
    TMidiInput in(out.Backend(), {[&](std::uint32_t m, bool wasForwarded) {
                                      ++handed;
                                      if (wasForwarded)
                                          ++forwarded;
                                      else
                                          out.SendShortMessage(m & 0xFF, (m >> 8) & 0xFF, (m >> 16) & 0xFF);
                                  },
                                  {}, {}});
    if (thru)
        in.ForwardTo(&out);
    for (auto _ : state) {
        std::unique_ptr<BusyWindow> load;
        if (busy)
            load = std::make_unique<BusyWindow>(std::chrono::milliseconds(5), std::chrono::milliseconds(40));
        // Direct: the source connected to the sink by JACK alone.
        jack_connect(io.Client(), io.SourceName().c_str(), io.SinkName().c_str());
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        std::uint32_t xruns = io.xruns_.load();
        PlayThrough(io);
        state.counters["direct_xruns"] = io.xruns_.load() - xruns;
        std::size_t lostDirect = 0;
        auto direct = io.Delays(lostDirect);
        jack_disconnect(io.Client(), io.SourceName().c_str(), io.SinkName().c_str());

        // Through the program: the source chosen as the input.
        const std::int32_t id = InputNumberOf(out.Backend(), io.SourceName());
        if (id < 0 || !in.Open(id)) {
            state.SkipWithError("the source did not open as the input");
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        xruns = io.xruns_.load();
        PlayThrough(io);
        state.counters["through_xruns"] = io.xruns_.load() - xruns;
        std::size_t lostThrough = 0;
        auto through = io.Delays(lostThrough);
        in.Close();
        state.counters["through_input_received"] = static_cast<double>(handed);
        state.counters["through_forwarded"] = static_cast<double>(forwarded);

        Report(state, "direct", std::move(direct), lostDirect);
        Report(state, "through", std::move(through), lostThrough);
    }
    state.counters["period_us"] = 1e6 * io.Period() / io.Rate();
    state.counters["dropped_in_buffer"] = in.Dropped();
}

// CPU time of this process (all its threads, JACK's included) per second.
double CpuPerSecond(std::chrono::seconds span)
{
    const auto used = [] {
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        return usage.ru_utime.tv_sec * 1e6 + usage.ru_utime.tv_usec + usage.ru_stime.tv_sec * 1e6 +
               usage.ru_stime.tv_usec;
    };
    const double before = used();
    Idle(span);
    return (used() - before) / static_cast<double>(span.count());
}

void BM_JackIdleCpuWithInputOpen(benchmark::State &state)
{
    SourceAndSink io;
    if (!io.Ok()) {
        state.SkipWithError("no JACK server: start jackd");
        return;
    }
    TMidiOutput out(CreateSystemBackend());
    out.SetProductName(io.SinkName());
    if (!out.OpenDevice()) {
        state.SkipWithError("the sink did not open");
        return;
    }
    TMidiInput in(out.Backend(), {});
    for (auto _ : state) {
        const double outputOnly = CpuPerSecond(std::chrono::seconds(5));
        const std::int32_t id = InputNumberOf(out.Backend(), io.SourceName());
        if (id < 0 || !in.Open(id)) {
            state.SkipWithError("the source did not open as the input");
            return;
        }
        const double withInput = CpuPerSecond(std::chrono::seconds(5));
        in.Close();
        state.counters["output_only_cpu_us_per_s"] = outputOnly;
        state.counters["with_input_cpu_us_per_s"] = withInput;
    }
}

} // namespace

BENCHMARK(BM_JackInputToOutputAgainstDirect)
    ->ArgNames({"thru", "busy_window"})
    ->Args({0, 0})
    ->Args({0, 1})
    ->Args({1, 0})
    ->Args({1, 1})
    ->Iterations(1)
    ->Unit(benchmark::kSecond);
BENCHMARK(BM_JackIdleCpuWithInputOpen)->Iterations(1)->Unit(benchmark::kSecond);

int main(int argc, char **argv)
{
    return bench_support::RunUnder<QCoreApplication>(argc, argv);
}
