// How long SendShortMessage takes through the device component down to each
// back end's send: the test back end (the component's own cost), the built-in
// synthesizer (rendering to a WAV file in real time) and a JACK MIDI port.
// Each call is timed; median and 99th percentile are reported in microseconds.
//
// The JACK case needs a running server (scripts/test.sh starts one).

#include "bench_midi_out_common.h"

#include "midi_out/FluidSynthBackend.h"
#include "midi_out/MidiOut.h"
#include "midi_out/SystemBackend.h"
#include "support/TestBackend.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <thread>

using namespace midi_out;
using namespace bench_midi;

namespace {

constexpr int Sends = 20000;

// Alternating Note On and Note Off, so that the synthesizer does not run out
// of voices.
void TimeSends(benchmark::State &state, TMidiOutput &out, int burst = 0,
               std::chrono::microseconds pause = std::chrono::microseconds(0))
{
    std::vector<double> samples;
    samples.reserve(Sends);
    int sent = 0;
    for (auto _ : state) {
        const std::uint8_t status = (sent & 1) ? 0x80 : 0x90;
        const auto start = Clock::now();
        out.SendShortMessage(status, 60 + (sent / 2) % 12, 100);
        samples.push_back(Microseconds(Clock::now() - start));
        ++sent;
        if (burst > 0 && sent % burst == 0) {
            // Let the port's queue drain, as a player's pace would.
            state.PauseTiming();
            std::this_thread::sleep_for(pause);
            state.ResumeTiming();
        }
    }
    ReportPercentiles(state, std::move(samples));
}

void BM_SendShortMessage_TestBackend(benchmark::State &state)
{
    auto backend = std::make_unique<TestBackend>(std::vector<std::string>{"Bench"});
    TMidiOutput out(std::move(backend));
    out.SetDeviceID(0);
    if (!out.OpenDevice()) {
        state.SkipWithError("test back end did not open");
        return;
    }
    TimeSends(state, out);
}

void BM_SendShortMessage_Synth(benchmark::State &state)
{
    QTemporaryDir dir;
    const std::string wav = dir.filePath("bench.wav").toStdString();
    setenv("MIDI_SONORET_AUDIO_DRIVER", "file", 1);
    setenv("MIDI_SONORET_AUDIO_FILE", wav.c_str(), 1);
    TMidiOutput out(CreateSystemBackend());
    out.SetDeviceID(0);
    const bool opened = out.OpenDevice();
    unsetenv("MIDI_SONORET_AUDIO_DRIVER");
    unsetenv("MIDI_SONORET_AUDIO_FILE");
    // The open returns while the SoundFont still loads; sends until then are
    // only kept for later.
    auto &synth = static_cast<FluidSynthBackend &>(static_cast<SystemBackend &>(out.Backend()).Part(0));
    if (!opened || synth.WaitUntilReady() != 0) {
        state.SkipWithError("built-in synthesizer did not open");
        return;
    }
    TimeSends(state, out);
}

void BM_SendShortMessage_JackPort(benchmark::State &state)
{
    JackTarget jack = OpenOnReceiver(state);
    if (!jack.out)
        return;
    const JackServerInfo &server = jack.server;
    TMidiOutput &out = *jack.out;
    // The port's queue holds 32 KiB between two cycles: send in bursts of 256
    // messages and give JACK a few periods to take them.
    const auto period = std::chrono::microseconds(1000000LL * server.period / server.rate);
    TimeSends(state, out, 256, 3 * period);
    state.counters["period_frames"] = server.period;
}

} // namespace

BENCHMARK(BM_SendShortMessage_TestBackend)->Iterations(Sends)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SendShortMessage_Synth)->Iterations(Sends)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SendShortMessage_JackPort)->Iterations(Sends)->Unit(benchmark::kMicrosecond);

int main(int argc, char **argv)
{
    // The component's notification window and the timers need an event loop's thread.
    return bench_support::RunUnder<QCoreApplication>(argc, argv);
}
