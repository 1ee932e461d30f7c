// Time from a PC key press queued for the application to the back end's
// send, through the real event loop (the idle poll after the burst), the
// cost of one poll over the default key map while a key is held, and the
// cost of the idle handler when no key is held (after every burst of events,
// a repaint or a timer as much as a key).

#include "bench_support.h"
#include "bench_window_support.h"
#include "app/UMain.h"
#include "support/TestBackend.h"
#include "support/WindowProbe.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QKeyEvent>
#include <QTemporaryDir>
#include <QTimer>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

namespace {

using bench_support::ReportPercentiles;

using Clock = std::chrono::steady_clock;

QTemporaryDir &WorkDir()
{
    static QTemporaryDir dir;
    return dir;
}

std::string SettingsPath() { return WorkDir().filePath(QStringLiteral("bench.ini")).toStdString(); }

// The key A (evdev 30) as X11 and Wayland report it; by default it plays Key13.
QKeyEvent *KeyA(QEvent::Type type)
{
    return new QKeyEvent(type, Qt::Key_A, Qt::NoModifier, 30 + 8, 0, 0, QStringLiteral("a"));
}

void KeyPressToSend(benchmark::State &state)
{
    auto owned = std::make_unique<midi_out::TestBackend>(std::vector<std::string>{"Bench device"});
    midi_out::TestBackend *backend = owned.get();
    app::TForm1 form(std::move(owned), SettingsPath());

    QEventLoop loop;
    Clock::time_point sentAt;
    backend->observer = [&](const midi_out::TestBackend::Call &call) {
        if (call.op == midi_out::TestBackend::Op::ShortMessage) {
            sentAt = Clock::now();
            loop.quit();
        }
    };
    // Ends a wait for a send that never comes.
    bool stuck = false;
    QTimer watchdog;
    watchdog.setSingleShot(true);
    watchdog.setInterval(2000);
    QObject::connect(&watchdog, &QTimer::timeout, &loop, [&] {
        stuck = true;
        loop.quit();
    });

    std::vector<double> samples;
    samples.reserve(static_cast<std::size_t>(state.max_iterations));
    for (auto _ : state) {
        watchdog.start();
        const auto start = Clock::now();
        QCoreApplication::postEvent(&form, KeyA(QEvent::KeyPress));
        loop.exec();
        const double us = std::chrono::duration<double, std::micro>(sentAt - start).count();
        state.SetIterationTime(us / 1e6);
        samples.push_back(us);

        QCoreApplication::postEvent(&form, KeyA(QEvent::KeyRelease));
        loop.exec();
        watchdog.stop();
        if (stuck)
            break;
        backend->ClearCalls();
    }
    backend->observer = nullptr;
    if (stuck)
        state.SkipWithError("a key press was not sent");
    ReportPercentiles(state, samples);
}

void PollPassOverTheDefaultMap(benchmark::State &state)
{
    app::TForm1 form(
        std::make_unique<midi_out::TestBackend>(std::vector<std::string>{"Bench device"}),
        SettingsPath());
    const std::unique_ptr<QKeyEvent> press(KeyA(QEvent::KeyPress));
    QCoreApplication::sendEvent(&form, press.get());
    Probe(form).PollKeyboard();
    for (auto _ : state)
        Probe(form).PollKeyboard();
    const std::unique_ptr<QKeyEvent> release(KeyA(QEvent::KeyRelease));
    QCoreApplication::sendEvent(&form, release.get());
}

void PollWithNoKeyHeld(benchmark::State &state)
{
    app::TForm1 form(
        std::make_unique<midi_out::TestBackend>(std::vector<std::string>{"Bench device"}),
        SettingsPath());
    Probe(form).PollKeyboard();
    for (auto _ : state)
        Probe(form).PollKeyboard();
}

} // namespace

BENCHMARK(KeyPressToSend)->UseManualTime()->Unit(benchmark::kMicrosecond)->Iterations(20000);
BENCHMARK(PollPassOverTheDefaultMap)->Unit(benchmark::kMicrosecond);
BENCHMARK(PollWithNoKeyHeld)->Unit(benchmark::kMicrosecond);

int main(int argc, char **argv)
{
    return bench_support::RunWindowBenchmarks(argc, argv);
}
