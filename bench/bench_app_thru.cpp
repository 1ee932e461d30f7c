// MIDI thru through the real program, against a direct JACK connection in the
// same run: a source played into the program's input, the program's output
// on a sink, each message's delay from the cycle that played it to the cycle
// that read it. Each path plays 10,000 messages at 1,000 a second, once with
// the window left alone and once while the instrument menu (128 items) opens
// and closes through the keyboard four times a second.
//
//   bench_app_thru [PROGRAM]     (another build's midi-sonoret, for a before/after)
//
// Needs a JACK server (JACK_DEFAULT_SERVER); run it with the period to
// measure, e.g. jackd --no-realtime -d dummy -r 48000 -p 64. Prints the
// median, 99th percentile and largest delay, the messages lost and the
// server's late cycles on the way.

#include "bench_jack_source_sink.h"
#include "e2e/E2eSupport.h"

#include <X11/Xlib.h>
#include <X11/keysym.h>

#include <atomic>
#include <cstdio>
#include <thread>

using namespace e2e;
using namespace bench_midi;
using namespace std::chrono_literals;

namespace {

// Opens the "Synthesizer" menu and its "Instrument" submenu by keys, holds
// them a while and closes them, over and over, until it goes.
class MenuLoad {
public:
    MenuLoad(const XvfbDisplay &display, ProgramUnderTest &program) : display_(display), program_(program) {}
    ~MenuLoad() { Stop(); }
    void Start()
    {
        running_ = true;
        thread_ = std::thread([this] {
            // A connection of its own: Xlib's is not shared between threads.
            Display *x = XOpenDisplay(display_.Name().c_str());
            if (x == nullptr)
                return;
            const XInput keys(x);
            const auto tap = [&](KeySym sym) {
                keys.Key(keys.KeycodeOf(sym), true);
                keys.Key(keys.KeycodeOf(sym), false);
            };
            while (running_) {
                keys.Key(keys.KeycodeOf(XK_Alt_L), true);
                tap(XK_s);
                keys.Key(keys.KeycodeOf(XK_Alt_L), false);
                tap(XK_Right); // the first item, "Instrument", opens
                std::this_thread::sleep_for(120ms);
                tap(XK_Escape);
                tap(XK_Escape);
                std::this_thread::sleep_for(130ms);
            }
            XCloseDisplay(x);
        });
    }
    void Stop()
    {
        running_ = false;
        if (thread_.joinable())
            thread_.join();
    }

private:
    const XvfbDisplay &display_;
    ProgramUnderTest &program_;
    std::atomic<bool> running_{false};
    std::thread thread_;
};

struct Delays {
    double median = 0, p99 = 0, max = 0;
    std::size_t lost = 0;
    std::uint32_t xruns = 0;
};

Delays Play(SourceAndSink &io)
{
    const std::uint32_t xruns = io.xruns_.load();
    io.Start();
    const auto end = Clock::now() + std::chrono::milliseconds(1000 * Messages / PerSecond + 5000);
    while (!io.Done() && Clock::now() < end)
        std::this_thread::sleep_for(10ms);
    const auto settle = Clock::now() + 2s;
    while (io.Arrived() < Messages && Clock::now() < settle)
        std::this_thread::sleep_for(10ms);
    Delays figures;
    std::vector<double> delays = io.Delays(figures.lost);
    figures.xruns = io.xruns_.load() - xruns;
    figures.median = bench_support::Percentile(delays, 0.5);
    figures.p99 = bench_support::Percentile(delays, 0.99);
    figures.max = delays.empty() ? 0 : *std::max_element(delays.begin(), delays.end());
    return figures;
}

bool SourceConnected(SourceAndSink &io)
{
    jack_port_t *port = jack_port_by_name(io.Client(), io.SourceName().c_str());
    return port != nullptr && jack_port_connected(port) > 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc > 1)
        ProgramUnderTest::builtProgram = argv[1];
    setenv("JACK_NO_START_SERVER", "1", 1);
    XvfbDisplay display;
    if (!display.Failure().empty()) {
        std::fprintf(stderr, "no X display: %s\n", display.Failure().c_str());
        return 1;
    }
    SourceAndSink direct("-d"), through("-t"); // short: a device name has 31 characters
    if (!direct.Ok() || !through.Ok()) {
        std::fprintf(stderr, "no JACK server: start jackd\n");
        return 1;
    }
    jack_connect(direct.Client(), direct.SourceName().c_str(), direct.SinkName().c_str());
    const int device = DeviceIndexOf(through.SinkName());
    if (device < 0) {
        std::fprintf(stderr, "the program does not list %s\n", through.SinkName().c_str());
        return 1;
    }
    ProgramUnderTest program(display, "[Device]\nID=" + std::to_string(device) + "\nName=" + through.SinkName() +
                                          "\n[InputDevice]\nID=0\nName=" + through.SourceName() + "\n");
    if (!program.WaitForWindow()) {
        std::fprintf(stderr, "the program's window did not show\n");
        return 1;
    }
    for (int i = 0; i < 500 && !SourceConnected(through); ++i)
        std::this_thread::sleep_for(10ms);
    if (!SourceConnected(through)) {
        std::fprintf(stderr, "the program did not open its input\n");
        return 1;
    }
    program.GiveFocus();
    std::this_thread::sleep_for(200ms);

    MenuLoad menus(display, program);
    std::printf("%-34s %10s %10s %10s %8s %8s\n", "source -> sink, 1,000 msg/s", "median us", "p99 us", "max us",
                "lost", "xruns");
    for (const bool loaded : {false, true}) {
        if (loaded)
            menus.Start();
        for (SourceAndSink *io : {&direct, &through}) {
            const Delays f = Play(*io);
            std::printf("%-34s %10.1f %10.1f %10.1f %5zu/%u %8u\n",
                        (std::string(io == &direct ? "direct" : "through the program") +
                         (loaded ? ", menu opening" : ", quiet"))
                            .c_str(),
                        f.median, f.p99, f.max, f.lost, Messages, f.xruns);
        }
        menus.Stop();
    }
    std::printf("JACK period: %.0f us\n", 1e6 * through.Period() / through.Rate());
    return 0;
}
