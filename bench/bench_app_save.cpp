// Time the window's thread spends in "Speichern..." for a recording of 10000
// notes while every fsync takes 20 ms (a slow or network home folder):
// through the window, whose writer thread takes the file, and, for
// comparison, writing the file on the window's thread as the command once
// did. Each run checks that the file holds the recording.

#include "bench_window_support.h"
#include "slow_fsync.h"
#include "app/RecordingDialogs.h"
#include "app/UMain.h"
#include "common/AtomicFileWriter.h"
#include "files/RecordingFiles.h"
#include "support/TestBackend.h"
#include "support/WindowProbe.h"

#include <QAction>
#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>

namespace {

using bench_support::Clock;

constexpr std::uint32_t kNotes = 10000;

using SlowFsync = bench_support::SlowFsync<20>;

void FillRecording(recorder::RecordingStream &stream)
{
    for (std::uint32_t tick = 0; tick < kNotes; ++tick)
        stream.WriteEvent({tick, 0x90, static_cast<std::uint8_t>(36 + tick % 40), 100});
}

bool Holds(benchmark::State &state, const std::string &path, const recorder::RecordingStream &stream)
{
    QFile file(QString::fromStdString(path));
    if (file.open(QIODevice::ReadOnly)
        && file.readAll() == QByteArray(reinterpret_cast<const char *>(stream.Bytes().data()),
                                        static_cast<qsizetype>(stream.Size())))
        return true;
    state.SkipWithError("the file does not hold the recording");
    return false;
}

void SaveThroughTheWindow(benchmark::State &state)
{
    QTemporaryDir dir;
    const std::string path = dir.filePath(QStringLiteral("take.vsq")).toStdString();
    app::TForm1 form(std::make_unique<midi_out::TestBackend>(std::vector<std::string>{"Synth A"}),
                     dir.filePath(QStringLiteral("midi-sonoret.ini")).toStdString());
    FillRecording(Probe(form).RecordingStream());
    app::SetFileDialogRunner([&path](QFileDialog &) { return QString::fromStdString(path); });
    auto *save = form.findChild<QAction *>(QStringLiteral("Speichern1"));
    const SlowFsync slow;
    double writtenMs = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        save->trigger();
        const auto handed = Clock::now();
        state.SetIterationTime(std::chrono::duration<double>(handed - start).count());
        while (Probe(form).Saves().UnderWay() > 0)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        writtenMs += std::chrono::duration<double, std::milli>(Clock::now() - handed).count();
        if (!Holds(state, path, Probe(form).RecordingStream()))
            break;
    }
    app::SetFileDialogRunner({});
    state.counters["written_after_ms"] = writtenMs / static_cast<double>(state.iterations());
}

void SaveWrittenOnTheWindowThread(benchmark::State &state)
{
    QTemporaryDir dir;
    const std::string path = dir.filePath(QStringLiteral("take.vsq")).toStdString();
    recorder::RecordingStream stream;
    FillRecording(stream);
    const SlowFsync slow;
    for (auto _ : state) {
        const auto start = Clock::now();
        files::SaveRecording(path, stream);
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
        if (!Holds(state, path, stream))
            break;
    }
}

} // namespace

BENCHMARK(SaveThroughTheWindow)->UseManualTime()->Unit(benchmark::kMicrosecond)->Iterations(20);
BENCHMARK(SaveWrittenOnTheWindowThread)->UseManualTime()->Unit(benchmark::kMicrosecond)->Iterations(20);

int main(int argc, char **argv)
{
    return bench_support::RunWindowBenchmarks(argc, argv);
}
