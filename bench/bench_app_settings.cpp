// Time the window's thread spends storing a drag of the volume slider across
// its 127 steps while every fsync of the settings file takes 20 ms (a slow
// or network home folder): through the window, whose writer thread takes the
// writes, and, for comparison, writing each step into the file directly.
// Each run checks that the file ends with the last value.

#include "bench_window_support.h"
#include "slow_fsync.h"
#include "common/SettingsFile.h"
#include "app/UMain.h"
#include "common/AtomicFileWriter.h"
#include "support/TestBackend.h"
#include "support/WindowProbe.h"

#include <QSlider>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>

namespace {

using bench_support::Clock;

constexpr int kSteps = 127;

using SlowFsync = bench_support::SlowFsync<20>;

bool EndsWith(benchmark::State &state, const std::string &path, int volume)
{
    if (common::SettingsFile(path).ReadInteger("Common", "Volume", -1) == volume)
        return true;
    state.SkipWithError("the settings file does not hold the last value");
    return false;
}

void SliderDragThroughTheWindow(benchmark::State &state)
{
    QTemporaryDir dir;
    const std::string path = dir.filePath(QStringLiteral("midi-sonoret.ini")).toStdString();
    auto form = std::make_unique<app::TForm1>(std::make_unique<midi_out::TestBackend>(
                                                  std::vector<std::string>{"Synth A"}),
                                              path);
    auto *slider = form->findChild<QSlider *>(QStringLiteral("TrackBar1"));
    const SlowFsync slow;
    Probe(*form).Settings().Flush(std::chrono::minutes(1)); // start-up's own writes
    double flushMs = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        for (int step = 0; step < kSteps; ++step)
            slider->setValue(step);
        const auto handed = Clock::now();
        state.SetIterationTime(std::chrono::duration<double>(handed - start).count());
        Probe(*form).Settings().Flush(std::chrono::minutes(1));
        flushMs += std::chrono::duration<double, std::milli>(Clock::now() - handed).count();
        if (!EndsWith(state, path, kSteps - 1))
            return;
        // Back to the top outside the measurement, so the next drag changes every step.
        slider->setValue(kSteps);
        Probe(*form).Settings().Flush(std::chrono::minutes(1));
    }
    state.counters["steps"] = kSteps;
    state.counters["writer_done_ms"] = flushMs / static_cast<double>(state.iterations());
}

void SliderDragWrittenDirectly(benchmark::State &state)
{
    QTemporaryDir dir;
    const std::string path = dir.filePath(QStringLiteral("midi-sonoret.ini")).toStdString();
    common::SettingsFile file(path);
    const SlowFsync slow;
    for (auto _ : state) {
        const auto start = Clock::now();
        for (int step = 0; step < kSteps; ++step)
            file.WriteInteger("Common", "Volume", step);
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
        if (!EndsWith(state, path, kSteps - 1))
            return;
    }
    state.counters["steps"] = kSteps;
}

} // namespace

BENCHMARK(SliderDragThroughTheWindow)->UseManualTime()->Unit(benchmark::kMicrosecond)->Iterations(20);
BENCHMARK(SliderDragWrittenDirectly)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);

int main(int argc, char **argv)
{
    return bench_support::RunWindowBenchmarks(argc, argv);
}
