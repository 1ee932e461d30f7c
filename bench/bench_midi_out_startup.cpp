// The device part of start-up: the component made on the system back end,
// the device list read (every device selected once for its name, as the
// device menu is built), the chosen device selected and opened. With 1, 10
// and 50 JACK MIDI ports besides the receiver, the receiver chosen; and with
// the built-in synthesizer chosen (rendering to a WAV file), where the open
// returns before the SoundFont is in: "ready_us" is the time until it is.
//
// Needs a running JACK server (scripts/test.sh starts one).

#include "bench_midi_out_common.h"

#include "midi_out/FluidSynthBackend.h"
#include "midi_out/JackSupport.h"
#include "midi_out/MidiOut.h"
#include "midi_out/SystemBackend.h"

#include <QCoreApplication>
#include <QTemporaryDir>

using namespace midi_out;
using namespace bench_midi;

namespace {

// A client with `count` MIDI input ports, so that they are listed as devices.
class ExtraPorts {
public:
    explicit ExtraPorts(int count)
    {
        const std::string name = "sonoret-bench-ports-" + std::to_string(getpid());
        client_ = midi_out::OpenJackClientWithOwnWaitPoint(name.c_str(), JackNoStartServer | JackUseExactName, nullptr);
        if (client_ == nullptr)
            throw std::runtime_error("no JACK client for the ports");
        for (int i = 0; i < count; ++i)
            jack_port_register(client_, ("in " + std::to_string(i)).c_str(), JACK_DEFAULT_MIDI_TYPE,
                               JackPortIsInput, 0);
        jack_activate(client_);
    }
    ~ExtraPorts()
    {
        jack_deactivate(client_);
        jack_client_close(client_);
    }

private:
    jack_client_t *client_ = nullptr;
};

// What start-up does with the device component; returns the device count.
int StartDevice(TMidiOutput &out, const std::string &chosen)
{
    const int count = out.DeviceCount();
    int chosenId = 0;
    for (int i = count - 1; i >= 0; --i) {
        out.SetDeviceID(i);
        if (out.ProductName() == chosen)
            chosenId = i;
    }
    out.SetDeviceID(chosenId);
    if (!out.OpenDevice())
        throw std::runtime_error("the device did not open");
    return count;
}

void BM_StartUpOnJackPort(benchmark::State &state)
{
    if (QueryJackServer().period == 0) {
        state.SkipWithError("no JACK server: run scripts/test.sh or start jackd");
        return;
    }
    JackArrivals receiver;
    ExtraPorts extra(static_cast<int>(state.range(0)) - 1);
    std::vector<double> samples;
    int devices = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        auto out = std::make_unique<TMidiOutput>(CreateSystemBackend());
        devices = StartDevice(*out, receiver.portName());
        samples.push_back(Microseconds(Clock::now() - start));
        state.PauseTiming();
        out.reset();
        state.ResumeTiming();
    }
    ReportPercentiles(state, std::move(samples));
    state.counters["devices"] = devices;
}

void BM_StartUpOnSynth(benchmark::State &state)
{
    QTemporaryDir dir;
    const std::string wav = dir.filePath("bench.wav").toStdString();
    setenv("MIDI_SONORET_AUDIO_DRIVER", "file", 1);
    setenv("MIDI_SONORET_AUDIO_FILE", wav.c_str(), 1);
    std::vector<double> samples, ready;
    for (auto _ : state) {
        const auto start = Clock::now();
        auto out = std::make_unique<TMidiOutput>(CreateSystemBackend());
        StartDevice(*out, FluidSynthBackend::DeviceName);
        samples.push_back(Microseconds(Clock::now() - start));
        state.PauseTiming();
        auto &synth = static_cast<FluidSynthBackend &>(static_cast<SystemBackend &>(out->Backend()).Part(0));
        if (synth.WaitUntilReady() != 0)
            state.SkipWithError("the synthesizer did not start");
        ready.push_back(Microseconds(Clock::now() - start));
        out.reset();
        state.ResumeTiming();
    }
    ReportPercentiles(state, samples);
    std::sort(ready.begin(), ready.end());
    state.counters["ready_us"] = ready[ready.size() / 2];
    unsetenv("MIDI_SONORET_AUDIO_DRIVER");
    unsetenv("MIDI_SONORET_AUDIO_FILE");
}

} // namespace

BENCHMARK(BM_StartUpOnJackPort)->Arg(1)->Arg(10)->Arg(50)->Iterations(20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StartUpOnSynth)->Iterations(10)->Unit(benchmark::kMillisecond);

int main(int argc, char **argv)
{
    // The component's notification window and the timers need an event loop's thread.
    return bench_support::RunUnder<QCoreApplication>(argc, argv);
}
