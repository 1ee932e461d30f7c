// Mouse press to Note On, side by side: the real program in its window and
// the floor (bench/floor_keyboard.cpp, a bare Xlib + JACK keyboard) on one
// Xvfb display, pressed through XTEST, both playing into one JACK input port
// of this benchmark. The two alternate round by round, so that both meet the
// same load and the same server. A third side presses a PC key (XTEST) in
// the program's window, for the key path's delay. Two more sides press as a
// driven pointer does ("move there, click"): the pointer comes onto the key
// from outside it just before each press, so that the enter, hover and
// motion handling of the toolkit lie between the press and its note.
//
//   bench_app_press_latency [ROUNDS [PRESSES [PROGRAM]]]     (default 8 × 150)
//
// PROGRAM: another build's midi-sonoret in place of this one's.
//
// Needs a JACK server (JACK_DEFAULT_SERVER); run it with the period to
// measure, e.g. jackd --no-realtime -d dummy -r 48000 -p 64. Prints, for each
// side, the median and 99th percentile of the delay from the synthetic press
// to the JACK cycle that delivered the Note On, the presses whose Note On
// never came, and the server's late cycles meanwhile.

#include "bench_support.h"
#include "bench_program_support.h"
#include "e2e/E2eSupport.h"
#include "performance/KeyGeometry.h"

#include <X11/Xlib.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

extern char **environ;

using namespace e2e;
using namespace std::chrono_literals;

namespace {

bool IsNoteOn(const Bytes &message) { return message.size() == 3 && (message[0] & 0xF0) == 0x90 && message[2] > 0; }

struct Side {
    const char *name;
    std::vector<double> delaysMs;
    int lost = 0;
    int xruns = 0;
};

// The floor keyboard, started on the display and connected to `port`.
class Floor {
public:
    Floor(const XvfbDisplay &display, const std::string &port)
    {
        int toChild[2], fromChild[2];
        if (pipe(toChild) != 0 || pipe(fromChild) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, toChild[0], STDIN_FILENO);
        posix_spawn_file_actions_adddup2(&actions, fromChild[1], STDOUT_FILENO);
        setenv("DISPLAY", display.Name().c_str(), 1);
        const std::string program = SONORET_BINARY_DIR "/bench/floor_keyboard";
        char *argv[] = {const_cast<char *>(program.c_str()), const_cast<char *>(port.c_str()), nullptr};
        if (posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv, environ) != 0)
            pid_ = 0;
        posix_spawn_file_actions_destroy(&actions);
        close(toChild[0]);
        close(fromChild[1]);
        stdin_ = toChild[1];
        char line[16] = {};
        ready_ = pid_ != 0 && read(fromChild[0], line, sizeof line - 1) > 0 && std::string(line).starts_with("ready");
        close(fromChild[0]);
        // Its window: the only top-level one named "floor".
        Display *x = display.Connection();
        Window root, parent, *children = nullptr;
        unsigned count = 0;
        for (int attempt = 0; ready_ && window_ == 0 && attempt < 200; ++attempt) {
            XQueryTree(x, DefaultRootWindow(x), &root, &parent, &children, &count);
            for (unsigned i = 0; i < count; ++i) {
                char *name = nullptr;
                if (XFetchName(x, children[i], &name) && name != nullptr) {
                    if (std::string(name) == "floor")
                        window_ = children[i];
                    XFree(name);
                }
            }
            XFree(children);
            if (window_ == 0)
                std::this_thread::sleep_for(10ms);
        }
        if (window_ != 0) {
            Window child;
            XTranslateCoordinates(x, window_, DefaultRootWindow(x), 100, 50, &centre_.rx(), &centre_.ry(), &child);
        }
    }
    ~Floor()
    {
        if (stdin_ >= 0)
            close(stdin_);
        if (pid_ != 0) {
            int status;
            for (int i = 0; i < 200 && waitpid(pid_, &status, WNOHANG) == 0; ++i)
                std::this_thread::sleep_for(10ms);
            kill(pid_, SIGKILL);
            waitpid(pid_, &status, 0);
        }
    }
    bool Ready() const { return ready_ && window_ != 0; }
    QPoint Centre() const { return centre_; }

private:
    pid_t pid_ = 0;
    int stdin_ = -1;
    bool ready_ = false;
    Window window_ = 0;
    QPoint centre_;
};

// One round: `presses` presses through `press` (down, then up), each
// waiting for its Note On.
template <class Press>
void Round(Side &side, JackInput &input, Press press, int presses, std::mt19937 &random)
{
    std::this_thread::sleep_for(20ms);
    const int xrunsBefore = input.Xruns();
    // In microseconds: the wait for each Note On ends in a JACK cycle, and
    // gaps of whole milliseconds would press at only a few phases of the
    // period (1 ms is 3/4 of a 64-frame one), so that a difference of a few
    // microseconds in handling the press moved whole presses to the next
    // cycle and the medians apart by a quarter of a period.
    std::uniform_int_distribution<int> gap(15000, 35000);
    for (int i = 0; i < presses; ++i) {
        input.Clear();
        const jack_time_t sent = JackInput::Now();
        press(true);
        const auto arrived = input.WaitForMore(1, IsNoteOn, 250ms);
        if (arrived.empty())
            ++side.lost;
        else
            side.delaysMs.push_back(arrived.front().time > sent ? (arrived.front().time - sent) / 1000.0 : 0.0);
        press(false);
        std::this_thread::sleep_for(std::chrono::microseconds(gap(random)));
    }
    side.xruns += input.Xruns() - xrunsBefore;
}

using bench_support::Percentile;

} // namespace

int main(int argc, char **argv)
{
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 8;
    const int presses = argc > 2 ? std::atoi(argv[2]) : 150;
    if (argc > 3)
        ProgramUnderTest::builtProgram = argv[3];
    setenv("JACK_NO_START_SERVER", "1", 1);
    XvfbDisplay display;
    JackInput input;
    const int device = bench_support::DeviceForProgram(display, input);
    if (device < 0)
        return 1;
    ProgramUnderTest program(display, "[Device]\nID=" + std::to_string(device) + "\nName=" + input.PortName() + "\n");
    if (!program.WaitForWindow()) {
        std::fprintf(stderr, "the program's window did not show\n");
        return 1;
    }
    Floor floor(display, input.PortName());
    if (!floor.Ready()) {
        std::fprintf(stderr, "the floor keyboard did not start\n");
        return 1;
    }
    // Middle C: a white key's lower part, where no black key covers it.
    const auto &key = performance::KeyTable[60 - 36];
    const QPoint onKey = program.ScreenPoint({key.left + key.width / 2, key.top + key.height * 3 / 4});

    const XInput mouse(display.Connection());
    // The PC key right of left Shift (Z on Xvfb's US layout) plays a note too.
    const unsigned pcKey = mouse.KeycodeOf(0x7a); // XK_z
    std::mt19937 random(1);
    Side ours{"MIDI Sonoret, mouse", {}, 0, 0}, bare{"floor (Xlib + JACK)", {}, 0, 0};
    Side keys{"MIDI Sonoret, PC key", {}, 0, 0};
    Side oursMoving{"MIDI Sonoret, move+click", {}, 0, 0}, bareMoving{"floor, move+click", {}, 0, 0};
    const auto click = [&mouse](bool down) { mouse.Button(down); };
    // Onto `target` from 40 pixels left of it, in four steps, then the press.
    const auto moveAndClick = [&mouse](QPoint target) {
        return [&mouse, target](bool down) {
            if (down)
                for (int step = 4; step >= 0; --step)
                    mouse.MoveTo(target - QPoint(10 * step, 0));
            mouse.Button(down);
            if (!down) // away again, as a driven pointer leaves
                mouse.MoveTo(target - QPoint(40, 0));
        };
    };
    // The key's neighbour to the left is another white key: moving over it
    // enters and leaves widgets as a user's pointer does.
    for (int round = 0; round < rounds; ++round) {
        mouse.MoveTo(onKey);
        Round(ours, input, click, presses, random);
        mouse.MoveTo(floor.Centre());
        Round(bare, input, click, presses, random);
        program.GiveFocus();
        Round(keys, input, [&](bool down) { mouse.Key(pcKey, down); }, presses, random);
        Round(oursMoving, input, moveAndClick(onKey), presses, random);
        Round(bareMoving, input, moveAndClick(floor.Centre()), presses, random);
    }

    std::printf("%-26s %10s %10s %8s %8s\n", "press -> Note On", "median ms", "p99 ms", "lost", "xruns");
    for (const Side *side : {&ours, &bare, &keys, &oursMoving, &bareMoving})
        std::printf("%-26s %10.2f %10.2f %5d/%d %8d\n", side->name, Percentile(side->delaysMs, 0.5),
                    Percentile(side->delaysMs, 0.99), side->lost, rounds * presses, side->xruns);
    return 0;
}
