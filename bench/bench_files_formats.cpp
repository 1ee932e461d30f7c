// Export of a 1,000,000-record recording and import of a 300,000-tone sound
// text: time and peak memory, next to the same work done with python3-mido.
//
// The C++ side is timed twice: in this process with Google Benchmark's loop,
// and like the peer as a fresh process of its own (this program started again
// with --child), which also gives its peak resident set size. Both processes
// load the same input files and report the seconds of the work alone (wall
// and CPU time: on a busy machine the CPU time is the steadier figure), their
// peak RSS and a checksum of the events, so the two sides are seen to make
// the same events. The peer script is bench/peer_mido.py.

#include "files/MidiExport.h"
#include "files/MidiImport.h"
#include "files/SoundTextImport.h"
#include "recorder/RecordingStream.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <vector>

namespace {

constexpr std::size_t kRecords = 1000000;
constexpr std::size_t kTones = 300000;
constexpr int kProcessRuns = 3;
const char *const kPython = "/usr/bin/python3";

std::filesystem::path workDir;

std::string File(const char *name)
{
    return (workDir / name).string();
}

// __FILE__ may be relative to the object's build folder (compiler caches
// rewrite it so), which is this program's own folder in the build tree.
std::string PeerScript()
{
    std::filesystem::path source(__FILE__);
    if (source.is_relative())
        source = std::filesystem::path(SONORET_BINARY_DIR) / "bench" / source;
    return (source.parent_path() / "peer_mido.py").lexically_normal().string();
}

// Same formula as the peer's.
std::uint64_t Checksum(recorder::RecordingStream &stream)
{
    std::uint64_t total = 0;
    stream.Seek(0, recorder::SeekOrigin::Begin);
    while (const auto e = stream.ReadEvent()) {
        const unsigned __int128 next = static_cast<unsigned __int128>(total) * 1000003u
                                       + std::uint64_t{e->tick} * 131 + e->status * 7u
                                       + e->data1 * 3u + e->data2;
        total = static_cast<std::uint64_t>(next % (std::uint64_t{1} << 61));
    }
    return total;
}

double CpuSeconds()
{
    timespec now{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

long PeakKiB()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// A recording as the recorder makes it: a Program Change at tick 0, then
// melody and drum notes on and off, now and then a controller, ticks rising.
void MakeRecording(recorder::RecordingStream &stream)
{
    std::uint32_t tick = 0;
    stream.WriteEvent({0, 0xC0, 5, 0});
    for (std::size_t i = 1; i < kRecords; ++i) {
        if (i % 3 == 0)
            tick += 1;
        if (i % 997 == 0)
            tick += 200;
        const auto note = static_cast<std::uint8_t>(48 + (i / 4 * 7) % 36);
        const auto velocity = static_cast<std::uint8_t>(64 + i % 64);
        if (i % 500 == 0) {
            stream.WriteEvent({tick, 0xB0, 7, velocity});
            continue;
        }
        switch (i % 4) {
        case 0: stream.WriteEvent({tick, 0x90, note, velocity}); break;
        case 1: stream.WriteEvent({tick, 0x80, note, 0}); break;
        case 2: stream.WriteEvent({tick, 0x99, 36, 127}); break;
        default: stream.WriteEvent({tick, 0x89, 36, 0}); break;
        }
    }
}

// Tones in CR LF lines, some rests and some silent volumes; durations in
// steps of 10 ms so that no running time lies near a half tick, where a peer
// summing in double could round differently.
void MakeSoundText(const std::string &name)
{
    std::ofstream out(name, std::ios::binary);
    for (std::size_t i = 0; i < kTones; ++i) {
        const int frequency = i % 10 == 9 ? 0 : 110 + static_cast<int>((i * 37) % 1700);
        const int duration = 10 * static_cast<int>(1 + (i * 13) % 50);
        const int volume = i % 50 == 7 ? 300 : 1000 + static_cast<int>((i * 101) % 64536);
        out << frequency << "\r\n" << duration << "\r\n" << volume << "\r\n";
    }
}

struct ProcessResult {
    bool ok = false;
    double seconds = 0;
    long peakKiB = 0;
    std::uint64_t checksum = 0;
    double cpuSeconds = 0;
};

ProcessResult RunProcess(const std::string &command)
{
    ProcessResult result;
    std::FILE *pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr)
        return result;
    char line[256] = {};
    const bool got = std::fgets(line, sizeof line, pipe) != nullptr;
    const int status = ::pclose(pipe);
    if (!got || status != 0)
        return result;
    std::istringstream in(line);
    in >> result.seconds >> result.peakKiB >> result.checksum >> result.cpuSeconds;
    result.ok = static_cast<bool>(in);
    return result;
}

// Fastest of a few runs; the peak is that of the largest run.
ProcessResult BestOf(const std::string &command)
{
    ProcessResult best;
    for (int run = 0; run < kProcessRuns; ++run) {
        const ProcessResult r = RunProcess(command);
        if (!r.ok)
            return r;
        if (!best.ok || r.seconds < best.seconds)
            best.seconds = r.seconds;
        if (!best.ok || r.cpuSeconds < best.cpuSeconds)
            best.cpuSeconds = r.cpuSeconds;
        best.peakKiB = std::max(best.peakKiB, r.peakKiB);
        best.checksum = r.checksum;
        best.ok = true;
    }
    return best;
}

int RunChild(int argc, char **argv)
{
    const std::string mode = argv[2];
    recorder::RecordingStream stream;
    const auto start = std::chrono::steady_clock::now();
    const double cpuStart = CpuSeconds();
    // The work's seconds, the peak memory, the events' checksum, the CPU seconds.
    const auto report = [&stream](std::chrono::steady_clock::time_point since, double cpuSince) {
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - since;
        std::printf("%.6f %ld %llu %.6f\n", took.count(), PeakKiB(),
                    static_cast<unsigned long long>(Checksum(stream)), CpuSeconds() - cpuSince);
        return 0;
    };
    if (mode == "export" && argc == 5) {
        stream.LoadFromFile(argv[3]);
        const auto begin = std::chrono::steady_clock::now();
        const double cpuBegin = CpuSeconds();
        files::ExportMidiFile(argv[4], stream);
        return report(begin, cpuBegin);
    }
    if (mode == "read" && argc == 4) {
        files::ImportMidiFile(argv[3], stream);
        return report(start, cpuStart);
    }
    if (mode == "import" && argc == 4) {
        files::ImportSoundText(argv[3], stream);
        return report(start, cpuStart);
    }
    std::printf("0 %ld 0 0\n", PeakKiB());
    return 0;
}

void BM_ExportMidiFile(benchmark::State &state)
{
    recorder::RecordingStream stream;
    stream.LoadFromFile(File("recording.vsq"));
    for (auto _ : state)
        files::ExportMidiFile(File("inprocess.mid"), stream);
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kRecords));
    state.counters["file_MiB"] =
        static_cast<double>(std::filesystem::file_size(File("inprocess.mid"))) / (1 << 20);
}
BENCHMARK(BM_ExportMidiFile)->Unit(benchmark::kMillisecond);

void BM_ImportSoundText(benchmark::State &state)
{
    recorder::RecordingStream stream;
    for (auto _ : state)
        files::ImportSoundText(File("tones.vnx"), stream);
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kTones));
    state.counters["records"] = static_cast<double>(stream.Size() / recorder::RecordedEvent::kSize);
}
BENCHMARK(BM_ImportSoundText)->Unit(benchmark::kMillisecond);

void BM_ReadMidiFile(benchmark::State &state)
{
    recorder::RecordingStream stream;
    for (auto _ : state)
        files::ImportMidiFile(File("song.mid"), stream);
    state.counters["records"] = static_cast<double>(stream.Size() / recorder::RecordedEvent::kSize);
    state.counters["file_MiB"] = static_cast<double>(std::filesystem::file_size(File("song.mid"))) / (1 << 20);
}
BENCHMARK(BM_ReadMidiFile)->Unit(benchmark::kMillisecond);

// What opening a native recording of the MIDI file's size costs the window.
void BM_OpenNativeOfTheSameSize(benchmark::State &state)
{
    const auto size = std::filesystem::file_size(File("song.mid"));
    {
        recorder::RecordingStream recording;
        recording.LoadFromFile(File("recording.vsq"));
        recorder::RecordingStream same;
        same.Write(recording.Bytes().data(), size - size % recorder::RecordedEvent::kSize);
        same.SaveToFile(File("same.vsq"));
    }
    recorder::RecordingStream stream;
    for (auto _ : state)
        stream.LoadFromFile(File("same.vsq"));
    state.counters["file_MiB"] = static_cast<double>(std::filesystem::file_size(File("same.vsq"))) / (1 << 20);
}
BENCHMARK(BM_OpenNativeOfTheSameSize)->Unit(benchmark::kMillisecond);

// The window's share of opening the song file: the read runs on the saves'
// thread, the window takes the records into the recording.
void BM_WindowShareOfASongOpen(benchmark::State &state)
{
    files::MidiImportNotes notes;
    const std::vector<std::uint8_t> records =
        files::MidiFileRecords(recorder::RecordingStream::ReadWholeFile(File("song.mid")), "song.mid", notes);
    recorder::RecordingStream stream;
    for (auto _ : state) {
        recorder::RecordingStream song;
        song.Write(records.data(), records.size());
        song.Seek(0, recorder::SeekOrigin::Begin);
        stream.Swap(song);
    }
}
BENCHMARK(BM_WindowShareOfASongOpen)->Unit(benchmark::kMillisecond);

struct Comparison {
    const char *work;
    std::string ours;
    std::string peer;
};

void Report(const ProcessResult &oursBase, const ProcessResult &peerBase)
{
    const std::string exe = std::filesystem::read_symlink("/proc/self/exe").string();
    const std::string python = std::string(kPython) + " " + PeerScript();
    const std::vector<Comparison> comparisons = {
        {"export 1,000,000 records",
         exe + " --child export " + File("recording.vsq") + " " + File("ours.mid"),
         python + " export " + File("recording.vsq") + " " + File("peer.mid")},
        {"import 300,000 tones", exe + " --child import " + File("tones.vnx"),
         python + " import " + File("tones.vnx")},
        {"read a 1 MB MIDI file", exe + " --child read " + File("song.mid"), python + " read " + File("song.mid")},
    };

    std::printf("\nSide by side, each a fresh process, fastest of %d runs (seconds of the work alone;\n"
                "peak RSS of the whole process, and above the process's own start-up peak)\n",
                kProcessRuns);
    std::printf("baseline peak RSS: C++ %.1f MiB, python3 + mido %.1f MiB\n\n",
                oursBase.peakKiB / 1024.0, peerBase.peakKiB / 1024.0);
    std::printf("%-26s %8s %8s %7s | %8s %8s %7s | %8s %8s %8s %8s | %s\n", "work", "C++ s",
                "mido s", "ratio", "C++ cpu", "mido cpu", "ratio", "C++ MiB", "(+MiB)", "mido MiB",
                "(+MiB)", "same events");
    for (const auto &c : comparisons) {
        const ProcessResult ours = BestOf(c.ours);
        const ProcessResult peer = BestOf(c.peer);
        if (!ours.ok || !peer.ok) {
            std::printf("%-26s %s\n", c.work, !ours.ok ? "C++ run failed" : "peer run failed");
            continue;
        }
        std::printf("%-26s %8.3f %8.3f %6.1fx | %8.3f %8.3f %6.1fx | %8.1f %8.1f %8.1f %8.1f | %s\n",
                    c.work, ours.seconds, peer.seconds, peer.seconds / ours.seconds, ours.cpuSeconds,
                    peer.cpuSeconds, peer.cpuSeconds / ours.cpuSeconds, ours.peakKiB / 1024.0,
                    (ours.peakKiB - oursBase.peakKiB) / 1024.0, peer.peakKiB / 1024.0,
                    (peer.peakKiB - peerBase.peakKiB) / 1024.0,
                    ours.checksum == peer.checksum ? "yes" : "NO");
    }
}

} // namespace

int main(int argc, char **argv)
{
    if (argc >= 3 && std::string(argv[1]) == "--child")
        return RunChild(argc, argv);

    std::string pattern = (std::filesystem::temp_directory_path() / "sonoret-bench-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr)
        return 1;
    workDir = pattern;
    {
        recorder::RecordingStream recording;
        MakeRecording(recording);
        recording.SaveToFile(File("recording.vsq"));
        // A song of 250,000 events, about 1 MB, as the export writes it.
        recorder::RecordingStream song;
        song.Write(recording.Bytes().data(), 250000 * recorder::RecordedEvent::kSize);
        files::ExportMidiFile(File("song.mid"), song);
        MakeSoundText(File("tones.vnx"));
    }

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    if (std::filesystem::exists(kPython)) {
        const std::string exe = std::filesystem::read_symlink("/proc/self/exe").string();
        const ProcessResult oursBase = RunProcess(exe + " --child baseline");
        const ProcessResult peerBase =
            RunProcess(std::string(kPython) + " " + PeerScript() + " baseline");
        Report(oursBase, peerBase);
    } else {
        std::printf("\n%s not found: no peer comparison\n", kPython);
    }
    std::filesystem::remove_all(workDir);
    return 0;
}
