// The built-in synthesizer's memory and readiness with a large General MIDI
// SoundFont, its samples read on demand (as the program runs it) and all at
// once (as before), each in a process of its own:
//   - the process's RSS, anonymous RSS and PSS before the synth, once it is
//     ready with the start-up instrument, and after every one of the 128
//     instruments has played a note;
//   - the time from making the back end to the first audible sample of a
//     key pressed as soon as the synth takes messages;
//   - what a Program Change costs its sender (the samples are read then).
//
//   bench_midi_out_synth_memory [SOUNDFONT]
//
// Default SoundFont: FluidR3_GM where installed (Debian's fluid-soundfont-gm),
// else the one the program would load. The synth renders offline: no audio
// output is needed.

#include "midi_out/FluidSynthBackend.h"
#include "midi_out/MidiErrors.h"

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

using namespace midi_out;
using Clock = std::chrono::steady_clock;

namespace {

constexpr char FluidR3[] = "/usr/share/sounds/sf2/FluidR3_GM.sf2";

struct Memory {
    double rss = 0, anon = 0, pss = 0; // MiB
};

double Field(const std::string &file, const std::string &name)
{
    std::ifstream in(file);
    std::string key;
    while (in >> key) {
        if (key == name) {
            double kb = 0;
            in >> kb;
            return kb / 1024.0;
        }
        in.ignore(1 << 16, '\n');
    }
    return 0;
}

Memory Now()
{
    return {Field("/proc/self/status", "VmRSS:"), Field("/proc/self/status", "RssAnon:"),
            Field("/proc/self/smaps_rollup", "Pss:")};
}

std::uint32_t Pack(std::uint8_t status, std::uint8_t data1, std::uint8_t data2)
{
    return status | (std::uint32_t{data1} << 8) | (std::uint32_t{data2} << 16);
}

void IgnoreNotice(DeviceHandle, std::uint32_t, std::uintptr_t, std::uintptr_t, std::uintptr_t) {}

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

bool Audible(FluidSynthBackend &synth, int frames)
{
    std::vector<float> left(static_cast<std::size_t>(frames)), right(static_cast<std::size_t>(frames));
    if (!synth.Render(frames, left.data(), right.data()))
        return false;
    return std::any_of(left.begin(), left.end(), [](float s) { return s != 0.0f; });
}

// One run in this process; prints one line.
int Run(FluidSynthBackend::SampleLoading loading)
{
    const Memory before = Now();
    const auto start = Clock::now();
    FluidSynthBackend synth(FluidSynthBackend::Output::Offline, loading);
    DeviceHandle handle = 0;
    if (synth.Open(&handle, 0, &IgnoreNotice, 0, CALLBACK_FUNCTION) !=
            MIDIERR_NOERROR ||
        synth.WaitUntilReady() != MIDIERR_NOERROR) {
        std::fprintf(stderr, "the synthesizer did not start\n");
        return 1;
    }
    // The start-up instrument, then a key.
    synth.ShortMessage(handle, Pack(0xC0, 0, 0));
    synth.ShortMessage(handle, Pack(0x90, 60, 100));
    int blocks = 0;
    while (!Audible(synth, FluidSynthBackend::PeriodSize) && ++blocks < 1000) {
    }
    const double firstSound = Ms(Clock::now() - start);
    synth.ShortMessage(handle, Pack(0x80, 60, 0));
    const Memory ready = Now();

    std::vector<double> changes;
    for (int program = 0; program < 128; ++program) {
        const auto sent = Clock::now();
        synth.ShortMessage(handle, Pack(0xC0, static_cast<std::uint8_t>(program), 0));
        changes.push_back(Ms(Clock::now() - sent));
        synth.ShortMessage(handle, Pack(0x90, 60, 100));
        Audible(synth, FluidSynthBackend::PeriodSize);
        synth.ShortMessage(handle, Pack(0x80, 60, 0));
    }
    const Memory all = Now();
    std::sort(changes.begin(), changes.end());
    std::printf("%-10s %7.1f %7.1f %7.1f | %7.1f %7.1f %7.1f | %7.1f %7.1f %7.1f | %9.1f | %7.2f %7.2f\n",
                loading == FluidSynthBackend::SampleLoading::OnDemand ? "on demand" : "all",
                before.rss, before.anon, before.pss, ready.rss, ready.anon, ready.pss, all.rss, all.anon, all.pss,
                firstSound, changes[changes.size() / 2], changes.back());
    synth.Close(handle);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    std::string soundFont = argc > 1 ? argv[1] : "";
    if (soundFont.empty())
        soundFont = std::filesystem::exists(FluidR3) ? FluidR3 : FluidSynthBackend::FindSoundFont().value_or("");
    if (soundFont.empty()) {
        std::fprintf(stderr, "no SoundFont\n");
        return 1;
    }
    setenv("MIDI_SONORET_SOUNDFONT", soundFont.c_str(), 1);
    std::printf("SoundFont %s (%.0f MB)\n", soundFont.c_str(),
                double(std::filesystem::file_size(soundFont)) / 1e6);
    std::printf("%-10s %23s | %23s | %23s | %9s | %15s\n", "samples", "before: RSS anon PSS", "ready: RSS anon PSS",
                "128 played: RSS anon PSS", "sound ms", "Program Change");
    std::printf("%-10s %23s | %23s | %23s | %9s | %15s\n", "", "MiB", "MiB", "MiB", "", "median  max ms");
    int failed = 0;
    // Each in a fresh process, so that one's memory is not the other's.
    for (const auto loading : {FluidSynthBackend::SampleLoading::All, FluidSynthBackend::SampleLoading::OnDemand}) {
        std::fflush(stdout);
        const pid_t child = fork();
        if (child == 0) {
            const int result = Run(loading);
            std::fflush(stdout);
            _exit(result);
        }
        int status = 0;
        waitpid(child, &status, 0);
        failed += WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 0 : 1;
    }
    return failed;
}
