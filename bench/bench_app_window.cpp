// Time from a mouse press delivered to a piano key to the back end's send
// call, and time from creating the main window to its being shown; both with
// the test back end and with the built-in synthesizer (rendering to a file).
// And the time a click on "Angehalten" holds the window's thread with a JACK
// port as the device (skipped when no JACK server runs).

#include "bench_midi_out_common.h"
#include "bench_support.h"
#include "bench_window_support.h"
#include "app/UMain.h"
#include "midi_out/SystemBackend.h"
#include "support/TestBackend.h"
#include "support/WindowProbe.h"

#include <QCoreApplication>
#include <QFile>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QToolButton>
#include <QWindow>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>

namespace {

using bench_support::ReportPercentiles;

using Clock = std::chrono::steady_clock;

// Passes everything to the real back end and notes when a short message
// reaches it.
class StampingBackend : public midi_out::MidiBackend {
public:
    explicit StampingBackend(std::unique_ptr<midi_out::MidiBackend> inner, Clock::time_point *stamp)
        : inner_(std::move(inner)), stamp_(stamp)
    {
    }
    std::uint32_t DeviceCount() override { return inner_->DeviceCount(); }
    midi_out::MidiResult GetDevCaps(std::int32_t id, midi_out::MidiOutCaps *caps,
                                    std::uint32_t size) override
    {
        return inner_->GetDevCaps(id, caps, size);
    }
    midi_out::MidiResult GetErrorText(midi_out::MidiResult code, char *text,
                                      std::uint32_t size) override
    {
        return inner_->GetErrorText(code, text, size);
    }
    midi_out::MidiResult Open(midi_out::DeviceHandle *handle, std::int32_t id,
                              midi_out::DriverCallbackProc callback, std::uintptr_t instance,
                              std::uint32_t flags) override
    {
        return inner_->Open(handle, id, callback, instance, flags);
    }
    midi_out::MidiResult Close(midi_out::DeviceHandle handle) override { return inner_->Close(handle); }
    midi_out::MidiResult Silence(midi_out::DeviceHandle handle) override { return inner_->Silence(handle); }
    midi_out::MidiResult ShortMessage(midi_out::DeviceHandle handle, std::uint32_t message) override
    {
        *stamp_ = Clock::now();
        return inner_->ShortMessage(handle, message);
    }
    midi_out::MidiResult PrepareHeader(midi_out::DeviceHandle handle, midi_out::MIDIHDR *header,
                                       std::uint32_t size) override
    {
        return inner_->PrepareHeader(handle, header, size);
    }
    midi_out::MidiResult LongMessage(midi_out::DeviceHandle handle, midi_out::MIDIHDR *header,
                                     std::uint32_t size) override
    {
        return inner_->LongMessage(handle, header, size);
    }
    midi_out::MidiResult UnprepareHeader(midi_out::DeviceHandle handle, midi_out::MIDIHDR *header,
                                         std::uint32_t size) override
    {
        return inner_->UnprepareHeader(handle, header, size);
    }
    bool Post(midi_out::NotifyWindow *window, std::uint32_t message, std::uintptr_t p1,
              std::uintptr_t p2) noexcept override
    {
        return inner_->Post(window, message, p1, p2);
    }

private:
    std::unique_ptr<midi_out::MidiBackend> inner_;
    Clock::time_point *stamp_;
};

std::unique_ptr<midi_out::MidiBackend> MakeBackend(bool builtInSynth)
{
    if (builtInSynth)
        return midi_out::CreateSystemBackend();
    return std::make_unique<midi_out::TestBackend>(std::vector<std::string>{"Bench device"});
}

QTemporaryDir &WorkDir()
{
    static QTemporaryDir dir;
    return dir;
}

std::string SettingsPath() { return WorkDir().filePath(QStringLiteral("bench.ini")).toStdString(); }

void MousePressToSend(benchmark::State &state, bool builtInSynth)
{
    Clock::time_point sentAt;
    app::TForm1 form(std::make_unique<StampingBackend>(MakeBackend(builtInSynth), &sentAt),
                     SettingsPath());
    performance::PianoKey *key = Probe(form).Key(24);
    const QPointF inside(10, 100);
    std::vector<double> samples;
    samples.reserve(100000);
    int failures = 0;
    for (auto _ : state) {
        QMouseEvent press(QEvent::MouseButtonPress, inside, key->mapToGlobal(inside),
                          Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        const auto start = Clock::now();
        QCoreApplication::sendEvent(key, &press);
        const double us = std::chrono::duration<double, std::micro>(sentAt - start).count();
        state.SetIterationTime(us / 1e6);
        samples.push_back(us);
        if (!key->IsSounding())
            ++failures;
        QMouseEvent release(QEvent::MouseButtonRelease, inside, key->mapToGlobal(inside),
                            Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(key, &release);
    }
    if (failures)
        state.SkipWithError("a send failed");
    ReportPercentiles(state, samples);
}

// One start of the window to its being shown, timed; `beforeEach` prepares
// each start untimed.
void TimeStartUps(benchmark::State &state, bool builtInSynth, const std::string &settings,
                  const std::function<void()> &beforeEach = {})
{
    std::vector<double> samples;
    for (auto _ : state) {
        if (beforeEach)
            beforeEach();
        const auto start = Clock::now();
        auto form = std::make_unique<app::TForm1>(MakeBackend(builtInSynth), settings);
        form->show();
        while (!form->windowHandle() || !form->windowHandle()->isExposed())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        const double us = std::chrono::duration<double, std::micro>(Clock::now() - start).count();
        state.SetIterationTime(us / 1e6);
        samples.push_back(us);
        Probe(*form).Settings().Flush(std::chrono::seconds(30));
        form.reset();
        QCoreApplication::processEvents();
    }
    ReportPercentiles(state, samples);
}

void StartUpToShownWindow(benchmark::State &state, bool builtInSynth)
{
    TimeStartUps(state, builtInSynth, SettingsPath());
}

// Start-up with a settings file of 10 MB: the program's few entries behind
// 200,000 lines of another tool's section, as a file grown by mistake or
// shared with another program holds them.
void StartUpWithLargeSettings(benchmark::State &state)
{
    const QString path = WorkDir().filePath(QStringLiteral("large.ini"));
    {
        QFile ini(path);
        if (!ini.open(QIODevice::WriteOnly))
            return state.SkipWithError("no settings file");
        QByteArray text = "[Other]\n";
        for (int i = 0; text.size() < 10'000'000; ++i)
            text += "Entry" + QByteArray::number(i) + "=a value of about forty bytes or so\n";
        text += "[Common]\nBeat=100\nVolume=90\n[Keys]\n81=13\n";
        ini.write(text);
    }
    // Written before each start, as a user's file is: a file changed within
    // the last seconds is compared by its text on every read.
    TimeStartUps(state, false, path.toStdString(), [&path] {
        const timespec anHourAgo[2] = {{::time(nullptr) - 3600, 0}, {::time(nullptr) - 3600, 0}};
        ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), anHourAgo, 0);
    });
}

// The click on "Angehalten" with a JACK port of our own chosen, until the
// handler returns to the event loop. Between clicks the port's messages
// (the silencing and the instrument) are let arrive, so that each click
// finds the port as a player's next click would.
void StopClickOnJackPort(benchmark::State &state)
{
    if (bench_midi::QueryJackServer().period == 0) {
        state.SkipWithError("no JACK server: run scripts/test.sh or start jackd");
        return;
    }
    bench_midi::JackArrivals receiver;
    const std::string settings = WorkDir().filePath(QStringLiteral("stop.ini")).toStdString();
    {
        QFile ini(QString::fromStdString(settings));
        if (!ini.open(QIODevice::WriteOnly))
            return state.SkipWithError("no settings file");
        ini.write(("[Device]\nName=" + receiver.portName() + "\n").c_str());
    }
    app::TForm1 form(midi_out::CreateSystemBackend(), settings);
    if (Probe(form).MidiOut().ProductName() != receiver.portName() || Probe(form).MidiOut().State() != midi_out::dsOpen)
        return state.SkipWithError("the JACK port is not the open device");
    auto *stop = form.findChild<QToolButton *>(QStringLiteral("SpeedButton3"));
    // The start-up instrument first; then each click sends the 32 silencing
    // messages and the instrument.
    constexpr std::size_t PerClick = 33;
    if (!receiver.waitFor(1))
        return state.SkipWithError("the start-up instrument did not arrive");
    std::vector<double> samples;
    for (auto _ : state) {
        const std::size_t before = receiver.count();
        const auto start = Clock::now();
        stop->click();
        const double us = std::chrono::duration<double, std::micro>(Clock::now() - start).count();
        state.SetIterationTime(us / 1e6);
        samples.push_back(us);
        QCoreApplication::processEvents();
        if (!receiver.waitFor(before + PerClick))
            return state.SkipWithError("a click's messages did not all arrive");
    }
    ReportPercentiles(state, samples);
}

} // namespace

// A fixed count: the test back end keeps every call it sees.
BENCHMARK_CAPTURE(MousePressToSend, TestBackend, false)
    ->UseManualTime()->Unit(benchmark::kMicrosecond)->Iterations(200000);
BENCHMARK_CAPTURE(MousePressToSend, BuiltInSynth, true)
    ->UseManualTime()->Unit(benchmark::kMicrosecond)->Iterations(200000);
BENCHMARK_CAPTURE(StartUpToShownWindow, TestBackend, false)
    ->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(50);
BENCHMARK_CAPTURE(StartUpToShownWindow, BuiltInSynth, true)
    ->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(StartUpWithLargeSettings)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(StopClickOnJackPort)->UseManualTime()->Unit(benchmark::kMicrosecond)->Iterations(300);

int main(int argc, char **argv)
{
    return bench_support::RunWindowBenchmarksRenderingTo(WorkDir().filePath(QStringLiteral("bench.wav")), argc, argv);
}
