// The window thread's time per recorded event over a long take: 10 minutes
// at 1,000 events a second (600,000 events, 50 per 50 ms tick), each sent
// through the note path while "Aufnahme" records. Built on a tree without
// the take's journal it gives the figure before it; with it, the run also
// checks that the journal holds exactly the take.

#include "bench_window_support.h"
#include "app/UMain.h"
#include "support/TestBackend.h"

#if __has_include("recorder/TakeJournal.h")
#include "recorder/TakeJournal.h"
#include "support/WindowProbe.h"
#define SONORET_BENCH_JOURNAL 1
#endif

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QToolButton>
#include <benchmark/benchmark.h>

#include <sys/stat.h>

#include <chrono>
#include <memory>
#include <string>

namespace {

using bench_support::Clock;

constexpr int kEventsPerSecond = 1000;
constexpr int kSeconds = 600;
constexpr int kEventsPerTick = kEventsPerSecond / 20;

void RecordALongTake(benchmark::State &state)
{
    QTemporaryDir dir;
    app::TForm1 form(std::make_unique<midi_out::TestBackend>(std::vector<std::string>{"Synth A"}),
                     dir.filePath(QStringLiteral("midi-sonoret.ini")).toStdString());
    auto *record = form.findChild<QToolButton *>(QStringLiteral("SpeedButton1"));
    auto *stop = form.findChild<QToolButton *>(QStringLiteral("SpeedButton3"));
    // Each run's take gives way to the next one's.
    app::SetUnsavedTakeAnswerer([] { return app::UnsavedTakeAnswer::Discard; });
    double perEventNs = 0;
    for (auto _ : state) {
        record->click();
        const auto start = Clock::now();
        for (int event = 0; event < kEventsPerSecond * kSeconds; ++event) {
            if (event % kEventsPerTick == 0)
                Probe(form).SetCurrentTick(event / kEventsPerTick);
            const auto key = static_cast<std::uint8_t>(36 + (event / 2) % 41);
            Probe(form).Notes().SendNote(event % 2 ? 0x80 : 0x90, key, event % 2 ? 0 : 100);
        }
        const auto sent = Clock::now();
        perEventNs += std::chrono::duration<double, std::nano>(sent - start).count() / (kEventsPerSecond * kSeconds);
        state.SetIterationTime(std::chrono::duration<double>(sent - start).count());
        stop->click();
#ifdef SONORET_BENCH_JOURNAL
        if (!Probe(form).Journal().Settle(std::chrono::seconds(60))) {
            state.SkipWithError("the journal was not written within a minute");
            break;
        }
        QFile journal(QString::fromStdString(Probe(form).Journal().Path()));
        if (!journal.open(QIODevice::ReadOnly)
            || journal.readAll() != QByteArray(reinterpret_cast<const char *>(Probe(form).RecordingStream().Bytes().data()),
                                               qsizetype(Probe(form).RecordingStream().Size()))) {
            state.SkipWithError("the journal does not hold the take");
            break;
        }
        state.counters["journal_bytes"] = double(journal.size());
#endif
        state.counters["take_bytes"] = double(Probe(form).RecordingStream().Size());
    }
    app::SetUnsavedTakeAnswerer({});
    state.counters["window_ns_per_event"] = perEventNs / double(state.iterations());
}

} // namespace

BENCHMARK(RecordALongTake)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

int main(int argc, char **argv)
{
    return bench_support::RunWindowBenchmarks(argc, argv);
}
