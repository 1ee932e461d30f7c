// How often the window's thread wakes while the program sits idle: the main
// window shown, nothing recorded, played back or accompanied. Each iteration
// lets the event loop run for one second and counts the times it went back
// to sleep (the dispatcher's aboutToBlock), the timer events it delivered and
// the thread's voluntary context switches, the kernel's own count of its
// sleeps. For comparison the same while recording, when the clock must tick.
// The JACK case plays into a port of the benchmark's own and needs a running
// server (it is skipped without one).

#include "bench_support.h"
#include "bench_window_support.h"
#include "app/UMain.h"
#include "midi_out/SystemBackend.h"
#include "support/JackMidiInput.h"
#include "support/TestBackend.h"
#include "support/WindowProbe.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>
#include <QWindow>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

QTemporaryDir &WorkDir()
{
    static QTemporaryDir dir;
    return dir;
}

std::string SettingsPath() { return WorkDir().filePath(QStringLiteral("bench.ini")).toStdString(); }

enum class Device { Test, BuiltInSynth, JackPort };

std::unique_ptr<midi_out::MidiBackend> MakeBackend(Device device)
{
    if (device == Device::Test)
        return std::make_unique<midi_out::TestBackend>(std::vector<std::string>{"Bench device"});
    return midi_out::CreateSystemBackend();
}

int IgnoreCycle(jack_nframes_t, void *) { return 0; }

// The calling thread's voluntary context switches so far.
long VoluntarySwitches()
{
    std::ifstream status("/proc/thread-self/status");
    const std::string field = "voluntary_ctxt_switches:";
    for (std::string line; std::getline(status, line);)
        if (line.compare(0, field.size(), field) == 0)
            return std::strtol(line.c_str() + field.size(), nullptr, 10);
    return -1;
}

class TimerEvents : public QObject {
public:
    long count = 0;
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Timer)
            ++count;
        return false;
    }
};

// Runs the event loop for `duration` and counts what happened meanwhile,
// less the one wake-up and the one timer event that end the run (and the
// loop's first trip to sleep, which is no wake-up).
struct Counts {
    long sleeps = 0;
    long timers = 0;
    long switches = 0;
};

Counts RunFor(std::chrono::milliseconds duration)
{
    TimerEvents timers;
    qApp->installEventFilter(&timers);
    long sleeps = 0;
    QObject counter;
    QObject::connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock,
                     &counter, [&sleeps] { ++sleeps; });
    QEventLoop loop;
    QTimer end;
    end.setSingleShot(true);
    QObject::connect(&end, &QTimer::timeout, &loop, &QEventLoop::quit);
    const long switchesBefore = VoluntarySwitches();
    end.start(duration);
    loop.exec();
    const long switches = VoluntarySwitches() - switchesBefore;
    qApp->removeEventFilter(&timers);
    return {sleeps - 2, timers.count - 1, switches - 1};
}

void WakeUps(benchmark::State &state, Device device, bool recording)
{
    std::optional<testing_support::JackMidiInput> port;
    std::string settings = SettingsPath();
    if (device == Device::JackPort) {
        try {
            port.emplace("sonoret-bench-idle-" + std::to_string(getpid()), &IgnoreCycle, nullptr);
        } catch (const std::runtime_error &error) {
            state.SkipWithError(error.what());
            return;
        }
        // Chosen by its name, as the user's choice is kept.
        settings = WorkDir().filePath(QStringLiteral("jack.ini")).toStdString();
        std::ofstream(settings) << "[Device]\nName=" << port->PortName() << "\n";
    }
    app::TForm1 form(MakeBackend(device), settings);
    if (port && Probe(form).MidiOut().ProductName() != port->PortName()) {
        state.SkipWithError("the JACK port was not chosen");
        return;
    }
    form.show();
    while (!form.windowHandle() || !form.windowHandle()->isExposed())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    if (recording)
        form.RecordClick();
    // Whatever showing the window and opening the device left to do.
    RunFor(std::chrono::milliseconds(300));

    Counts total;
    for (auto _ : state) {
        const Counts counts = RunFor(std::chrono::seconds(1));
        state.SetIterationTime(1.0);
        total.sleeps += counts.sleeps;
        total.timers += counts.timers;
        total.switches += counts.switches;
    }
    if (recording)
        form.StopClick();
    const auto perSecond = [&](long count) {
        return benchmark::Counter(double(count), benchmark::Counter::kAvgIterations);
    };
    state.counters["loop_wakeups_per_s"] = perSecond(total.sleeps);
    state.counters["timer_events_per_s"] = perSecond(total.timers);
    state.counters["ctx_switches_per_s"] = perSecond(total.switches);
}

} // namespace

BENCHMARK_CAPTURE(WakeUps, IdleTestBackend, Device::Test, false)
    ->UseManualTime()->Unit(benchmark::kSecond)->Iterations(5);
BENCHMARK_CAPTURE(WakeUps, IdleBuiltInSynth, Device::BuiltInSynth, false)
    ->UseManualTime()->Unit(benchmark::kSecond)->Iterations(5);
BENCHMARK_CAPTURE(WakeUps, IdleJackPort, Device::JackPort, false)
    ->UseManualTime()->Unit(benchmark::kSecond)->Iterations(5);
BENCHMARK_CAPTURE(WakeUps, RecordingTestBackend, Device::Test, true)
    ->UseManualTime()->Unit(benchmark::kSecond)->Iterations(3);

int main(int argc, char **argv)
{
    return bench_support::RunWindowBenchmarksRenderingTo(WorkDir().filePath(QStringLiteral("bench.wav")), argc, argv);
}
