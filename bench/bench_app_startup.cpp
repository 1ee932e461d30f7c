// Start-up of the real program: from starting the process to its main
// window being mapped on an Xvfb display of its own (the X server's
// MapNotify), with a JACK port chosen as the device and with the built-in
// synthesizer; and, with the JACK port, the time until the start-up Program
// Change arrives at that port. The two devices alternate start by start, so
// that both meet the same load.
//
//   bench_app_startup [STARTS [OTHER]]     (default 20 of each)
//
// With OTHER, another build's midi-sonoret, that one's starts alternate with
// this build's, for a comparison under the same load. A bare Qt window with
// one label (floor_window) starts among them as the floor: what any Qt
// program needs to map its window on this display.
//
// Needs a JACK server (JACK_DEFAULT_SERVER). Prints median and 90th
// percentile of each, and the starts whose first message at the port was
// not the Program Change.

#include "bench_support.h"
#include "bench_program_support.h"
#include "e2e/E2eSupport.h"
#include "midi_out/MidiErrors.h"
#include "midi_out/SystemBackend.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <poll.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using namespace e2e;
using namespace std::chrono_literals;

namespace {

bool IsProgramChange(const Bytes &message) { return message.size() == 2 && (message[0] & 0xF0) == 0xC0; }

bool OfProcess(Display *display, Window window, pid_t pid)
{
    const Atom pidAtom = XInternAtom(display, "_NET_WM_PID", False);
    Atom type;
    int format;
    unsigned long items, after;
    unsigned char *data = nullptr;
    if (XGetWindowProperty(display, window, pidAtom, 0, 1, False, XA_CARDINAL, &type, &format, &items, &after,
                           &data) != Success || data == nullptr)
        return false;
    const bool ours = items == 1 && static_cast<pid_t>(*reinterpret_cast<unsigned long *>(data)) == pid;
    XFree(data);
    char *name = nullptr;
    bool main = false;
    if (ours && XFetchName(display, window, &name) && name != nullptr) {
        main = std::strcmp(name, "MIDI Sonoret") == 0;
        XFree(name);
    }
    return main;
}

// Watches the display's top-level windows being mapped, from its creation on.
class MapWatch {
public:
    explicit MapWatch(const XvfbDisplay &display) : display_(XOpenDisplay(display.Name().c_str()))
    {
        XSelectInput(display_, DefaultRootWindow(display_), SubstructureNotifyMask);
        XSync(display_, False);
    }
    ~MapWatch() { XCloseDisplay(display_); }
    MapWatch(const MapWatch &) = delete;
    MapWatch &operator=(const MapWatch &) = delete;

    // JACK's time when the main window of `pid` was mapped; 0 when it was
    // not within `bound`.
    jack_time_t WaitForMainWindow(pid_t pid, std::chrono::milliseconds bound)
    {
        const jack_time_t end = jack_get_time() + static_cast<jack_time_t>(bound.count()) * 1000;
        while (jack_get_time() < end) {
            while (XPending(display_) > 0) {
                XEvent event;
                XNextEvent(display_, &event);
                if (event.type == MapNotify) {
                    const jack_time_t at = jack_get_time();
                    if (OfProcess(display_, event.xmap.window, pid))
                        return at;
                }
            }
            pollfd wait{ConnectionNumber(display_), POLLIN, 0};
            ::poll(&wait, 1, 5);
        }
        return 0;
    }

private:
    Display *display_;
};

struct StartFigures {
    const char *name;
    std::vector<double> mappedMs;
    std::vector<double> programMs;
    int failed = 0;
    int notFirst = 0;
};

using bench_support::Percentile;

std::string DeviceName(int index)
{
    auto backend = midi_out::CreateSystemBackend();
    midi_out::MidiOutCaps caps;
    if (backend->GetDevCaps(index, &caps, sizeof caps) != midi_out::MIDIERR_NOERROR)
        return {};
    return std::string(caps.szPname, strnlen(caps.szPname, sizeof caps.szPname));
}

// The floor: only its mapping counts; it has no port and nothing to paint.
void StartFloor(StartFigures &figures, const XvfbDisplay &display)
{
    const std::string ours = ProgramUnderTest::builtProgram;
    ProgramUnderTest::builtProgram = FLOOR_WINDOW;
    MapWatch watch(display);
    ProgramUnderTest program(display, {});
    ProgramUnderTest::builtProgram = ours;
    const jack_time_t mapped = watch.WaitForMainWindow(program.Pid(), 10s);
    if (mapped == 0)
        ++figures.failed;
    else
        figures.mappedMs.push_back((mapped - program.Started()) / 1000.0);
}

void Start(StartFigures &figures, const XvfbDisplay &display, JackInput &input, const std::string &device, bool toPort)
{
    input.Clear();
    MapWatch watch(display);
    ProgramUnderTest program(display, "[Device]\nName=" + device + "\n");
    const jack_time_t mapped = watch.WaitForMainWindow(program.Pid(), 10s);
    if (mapped == 0) {
        ++figures.failed;
        return;
    }
    figures.mappedMs.push_back((mapped - program.Started()) / 1000.0);
    if (toPort) {
        const auto arrived = input.WaitUntil([](const std::vector<Arrival> &all) { return !all.empty(); }, 10s);
        if (arrived.empty())
            ++figures.failed;
        else if (!IsProgramChange(arrived.front().bytes))
            ++figures.notFirst;
        else
            figures.programMs.push_back((arrived.front().time - program.Started()) / 1000.0);
    }
    // Painted, so that the close finds the window and the next start an
    // idle machine.
    program.WaitForWindow();
}

} // namespace

int main(int argc, char **argv)
{
    const int starts = argc > 1 ? std::atoi(argv[1]) : 20;
    setenv("JACK_NO_START_SERVER", "1", 1);
    XvfbDisplay display;
    JackInput input;
    if (bench_support::DeviceForProgram(display, input) < 0)
        return 1;
    const std::string synth = DeviceName(0);
    const std::string ours = ProgramUnderTest::builtProgram;
    const std::string other = argc > 2 ? argv[2] : "";
    StartFigures floor{"floor: bare Qt window", {}, {}, 0, 0};
    std::vector<StartFigures> figures{{"JACK port", {}, {}, 0, 0}, {"built-in synthesizer", {}, {}, 0, 0}};
    if (!other.empty())
        figures.insert(figures.end(), {{"OTHER: JACK port", {}, {}, 0, 0}, {"OTHER: built-in", {}, {}, 0, 0}});
    for (int i = 0; i < starts; ++i) {
        StartFloor(floor, display);
        for (std::size_t program = 0; program < figures.size() / 2; ++program) {
            ProgramUnderTest::builtProgram = program == 0 ? ours : other;
            Start(figures[2 * program], display, input, input.PortName(), true);
            Start(figures[2 * program + 1], display, input, synth, false);
        }
    }
    ProgramUnderTest::builtProgram = ours;
    figures.insert(figures.begin(), floor);

    std::printf("%-22s %14s %10s %16s %10s %8s %10s\n", "start ->", "mapped median", "p90 ms", "Program Change",
                "p90 ms", "failed", "not first");
    for (const StartFigures &figure : figures) {
        const StartFigures *f = &figure;
        std::printf("%-22s %14.1f %10.1f", f->name, Percentile(f->mappedMs, 0.5), Percentile(f->mappedMs, 0.9));
        if (f->programMs.empty())
            std::printf(" %16s %10s", "-", "-");
        else
            std::printf(" %16.1f %10.1f", Percentile(f->programMs, 0.5), Percentile(f->programMs, 0.9));
        std::printf(" %5d/%d %10d", f->failed, starts, f->notFirst);
        // Against the floor's median: the mark the program aims under is 1.4.
        if (f != &figures.front() && !f->mappedMs.empty() && !figures.front().mappedMs.empty())
            std::printf("  %.2f x floor", Percentile(f->mappedMs, 0.5) / Percentile(figures.front().mappedMs, 0.5));
        std::printf("\n");
    }
    return 0;
}
