// Delay from SendShortMessage to the message's arrival at a JACK MIDI input
// port, through the device component and the system back end. The delay
// depends on the server's period; the benchmark measures whatever server runs
// and reports its period as a counter. For the two usual settings:
//
//   JACK_NO_START_SERVER=1 JACK_NO_AUDIO_RESERVATION=1 jackd --no-realtime -d dummy -r 48000 -p 64 &
//   ./bench_midi_out_jack_delay
//   (stop that server, then the same with -p 256)
//
// Sends are spaced by a varying fraction of a period so that they fall at all
// points of the cycle, as key presses do. A message that has not arrived
// within two seconds counts as lost (counter "lost"); the run goes on.

#include "bench_midi_out_common.h"

#include "midi_out/MidiOut.h"
#include "midi_out/SystemBackend.h"

#include <QCoreApplication>

#include <random>
#include <thread>

using namespace midi_out;
using namespace bench_midi;

namespace {

void BM_JackSendToArrival(benchmark::State &state)
{
    JackTarget jack = OpenOnReceiver(state);
    if (!jack.out)
        return;
    const JackServerInfo &server = jack.server;
    JackArrivals &receiver = *jack.receiver;
    TMidiOutput &out = *jack.out;

    const auto period = std::chrono::microseconds(1000000LL * server.period / server.rate);
    std::mt19937 random(12345);
    std::uniform_int_distribution<long> offset(0, period.count());
    std::vector<double> delays;
    std::size_t lost = 0;
    for (auto _ : state) {
        state.PauseTiming();
        std::this_thread::sleep_for(std::chrono::microseconds(offset(random)));
        // A message counted lost may still turn up late: start from what has
        // arrived so far.
        const std::size_t before = receiver.count();
        state.ResumeTiming();
        const auto start = Clock::now();
        out.SendShortMessage(0x90, 60, 100);
        if (!receiver.waitFor(before + 1)) {
            ++lost;
            continue;
        }
        delays.push_back(Microseconds(receiver.arrival(before) - start));
    }
    ReportPercentiles(state, std::move(delays));
    state.counters["lost"] = static_cast<double>(lost);
    state.counters["period_frames"] = server.period;
    state.counters["period_us"] = static_cast<double>(period.count());
}

} // namespace

BENCHMARK(BM_JackSendToArrival)->Iterations(1000)->Unit(benchmark::kMicrosecond);

int main(int argc, char **argv)
{
    // The component's notification window and the timers need an event loop's thread.
    return bench_support::RunUnder<QCoreApplication>(argc, argv);
}
