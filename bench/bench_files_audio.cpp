// A take saved as sound: a 10-minute take of dense playing with drums (about
// 20,000 records) rendered to WAV, FLAC and Ogg Vorbis, against FluidSynth's
// own program rendering the take's MIDI export with the same SoundFont in the
// same run (`fluidsynth -F out.wav -r 48000 SOUNDFONT take.mid`). Reports each
// render's real-time factor (seconds of sound per second of rendering) and
// the WAV render's time as a share of FluidSynth's (at most 1.0 is the aim).
//
// The SoundFont: MIDI_SONORET_SOUNDFONT, else the built-in synthesizer's.

#include "files/AudioExport.h"
#include "files/MidiExport.h"
#include "midi_out/FluidSynthBackend.h"
#include "recorder/RecordingStream.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>

namespace {

constexpr std::uint32_t kTicks = 10 * 60 * 20; // 10 minutes of 50 ms ticks
const char *const kFluidSynth = "/usr/bin/fluidsynth";

std::filesystem::path workDir;
std::string soundFont;
recorder::RecordingStream take;
std::map<std::string, double> seconds; // the mean run of each

std::string File(const char *name) { return (workDir / name).string(); }

// A melody note every 150 ms held for 100 ms, a bass drum and a snare in
// turn every 200 ms, a pitch bend every 200 ms and the modulation wheel
// every 300 ms: about 20,000 records.
void MakeTake()
{
    take.WriteEvent({0, 0xC0, 0, 0});
    for (std::uint32_t tick = 0; tick < kTicks; ++tick) {
        if (tick % 3 == 0)
            take.WriteEvent({tick, 0x90, static_cast<std::uint8_t>(48 + (tick / 3) % 36), 90});
        if (tick % 3 == 2)
            take.WriteEvent({tick, 0x80, static_cast<std::uint8_t>(48 + (tick / 3) % 36), 0});
        if (tick % 4 == 0)
            take.WriteEvent({tick, 0x99, static_cast<std::uint8_t>(tick % 8 == 0 ? 36 : 38), 110});
        if (tick % 4 == 1)
            take.WriteEvent({tick, 0x89, static_cast<std::uint8_t>((tick - 1) % 8 == 0 ? 36 : 38), 0});
        if (tick % 4 == 2)
            take.WriteEvent({tick, 0xE0, 0, static_cast<std::uint8_t>(0x38 + tick % 16)});
        if (tick % 6 == 5)
            take.WriteEvent({tick, 0xB0, 1, static_cast<std::uint8_t>(tick % 128)});
    }
}

double SoundSeconds() { return kTicks * 0.05; }

void BM_RenderTake(benchmark::State &state, files::AudioFormat format, const char *name)
{
    files::AudioRendering rendering;
    rendering.soundFont = soundFont;
    double total = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        files::ExportAudioFile(File(name), format, take.Bytes(), rendering);
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        state.SetIterationTime(took.count());
        total += took.count();
    }
    seconds[name] = total / static_cast<double>(state.iterations());
    state.counters["records"] = static_cast<double>(take.Size() / recorder::RecordedEvent::kSize);
    state.counters["realtime_factor"] = SoundSeconds() / seconds[name];
    state.counters["file_MiB"] = static_cast<double>(std::filesystem::file_size(File(name))) / (1 << 20);
}

void BM_FluidSynthProgram(benchmark::State &state)
{
    const std::string command = std::string(kFluidSynth) + " -niq -F " + File("theirs.wav") + " -r 48000 "
                                + soundFont + " " + File("take.mid") + " >/dev/null 2>&1";
    double total = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        if (std::system(command.c_str()) != 0) {
            state.SkipWithError("fluidsynth failed");
            return;
        }
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        state.SetIterationTime(took.count());
        total += took.count();
    }
    seconds["fluidsynth"] = total / static_cast<double>(state.iterations());
    state.counters["realtime_factor"] = SoundSeconds() / seconds["fluidsynth"];
}

BENCHMARK_CAPTURE(BM_RenderTake, wav, files::AudioFormat::Wav, "take.wav")
    ->UseManualTime()->Iterations(3)->Unit(benchmark::kSecond);
BENCHMARK(BM_FluidSynthProgram)->UseManualTime()->Iterations(3)->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(BM_RenderTake, flac, files::AudioFormat::Flac, "take.flac")
    ->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(BM_RenderTake, ogg, files::AudioFormat::Ogg, "take.ogg")
    ->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);

} // namespace

int main(int argc, char **argv)
{
    soundFont = midi_out::FluidSynthBackend::FindSoundFont().value_or(std::string());
    if (soundFont.empty() || !std::filesystem::exists(kFluidSynth)) {
        std::fprintf(stderr, "needs a SoundFont and %s\n", kFluidSynth);
        return 1;
    }
    std::string pattern = (std::filesystem::temp_directory_path() / "sonoret-bench-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr)
        return 1;
    workDir = pattern;
    MakeTake();
    files::ExportMidiFile(File("take.mid"), take);

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    std::printf("\nSoundFont %s, %.0f s of sound, %zu records\n", soundFont.c_str(), SoundSeconds(),
                take.Size() / recorder::RecordedEvent::kSize);
    for (const auto &[name, took] : seconds)
        std::printf("%-12s %7.2f s  real-time factor %6.1f\n", name.c_str(), took, SoundSeconds() / took);
    if (seconds.count("take.wav") != 0 && seconds.count("fluidsynth") != 0)
        std::printf("WAV against fluidsynth: %.2f (at most 1.0)\n", seconds["take.wav"] / seconds["fluidsynth"]);
    std::filesystem::remove_all(workDir);
    return 0;
}
