#pragma once
// End-to-end tests drive the real program in a real X11 window: an Xvfb
// display of the test's own, synthetic input through XTEST, and a JACK MIDI
// input port of the test's own that the program is told to play into.

#include "support/HangBound.h"
#include "support/JackMidiInput.h"

#include <QImage>
#include <QRect>
#include <QString>

#include <jack/jack.h>
#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

typedef struct _XDisplay Display;
typedef unsigned long Window;

namespace e2e {

using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;

// One message as it reached the test's port, with the JACK time (µs, the
// monotonic clock) of the process cycle that delivered it.
struct Arrival {
    Bytes bytes;
    jack_time_t time;
};

// An Xvfb server on a free display number, stopped with the object.
class XvfbDisplay {
public:
    XvfbDisplay();
    ~XvfbDisplay();
    XvfbDisplay(const XvfbDisplay &) = delete;
    XvfbDisplay &operator=(const XvfbDisplay &) = delete;

    // Empty when the server started; otherwise why not.
    const std::string &Failure() const { return failure_; }
    std::string Name() const { return ":" + std::to_string(number_); }
    Display *Connection() const { return display_; }

private:
    pid_t pid_ = 0;
    int number_ = -1;
    Display *display_ = nullptr;
    std::string failure_;
};

// A JACK MIDI input port under a client name of its own.
class JackInput {
public:
    JackInput();
    JackInput(const JackInput &) = delete;
    JackInput &operator=(const JackInput &) = delete;

    std::string PortName() const { return input_.PortName(); }
    bool Connected() const;

    // Waits until `match` is true for the messages received so far (or the
    // deadline passes); returns them.
    std::vector<Arrival> WaitUntil(const std::function<bool(const std::vector<Arrival> &)> &match,
                                   std::chrono::milliseconds deadline = testing_support::kHangBound);
    // Waits for `count` more messages of the kinds `keep` accepts.
    std::vector<Arrival> WaitForMore(std::size_t count, const std::function<bool(const Bytes &)> &keep,
                                     std::chrono::milliseconds deadline = testing_support::kHangBound);
    // Waits until `count` kept messages are there in all, counting those
    // already received: a reply that may come before the call.
    std::vector<Arrival> WaitForTotal(std::size_t count, const std::function<bool(const Bytes &)> &keep,
                                      std::chrono::milliseconds deadline = testing_support::kHangBound);
    std::vector<Arrival> Received();
    void Clear();

    static jack_time_t Now() { return jack_get_time(); }
    // The cycles the server ran late since the port opened: a client that
    // misses its cycle may lose what it sends in it.
    int Xruns() const { return xruns_.load(); }

private:
    static int Process(jack_nframes_t frames, void *self);

    std::mutex mutex_;
    std::condition_variable arrived_;
    std::vector<Arrival> received_;
    std::atomic<int> xruns_{0};
    testing_support::JackMidiInput input_; // last: stops before the rest goes
};

// Messages of a piano: notes on channels 1 and 10 and program changes.
// Leaves out the controller messages a device sends when it is closed.
bool IsNoteOrProgram(const Bytes &message);

// The device number under which the program will list `portName`, counted
// as the program counts: built-in synthesizer, ALSA ports, JACK ports.
int DeviceIndexOf(const std::string &portName);

// The built program, hard-linked into a folder of its own so that its
// settings file (beside the executable) belongs to this test alone.
class ProgramUnderTest {
public:
    // With `installedPrefix`, the program installed there runs, and its
    // settings are where an installed program keeps them (the configuration
    // folder); else the built one, its settings beside it.
    ProgramUnderTest(const XvfbDisplay &display, const std::string &settings,
                     std::map<std::string, std::string> environment = {}, std::vector<std::string> arguments = {},
                     const std::string &installedPrefix = {});
    ~ProgramUnderTest();
    ProgramUnderTest(const ProgramUnderTest &) = delete;
    // The executable run when no prefix is given: this build's program, or
    // another build's for a benchmark that compares the two.
    static std::string builtProgram;
    ProgramUnderTest &operator=(const ProgramUnderTest &) = delete;

    // Waits for the main window to be mapped and painted; false after the
    // deadline or when the program ended. Sets the window and the client
    // area's offset below the menu bar.
    bool WaitForWindow(std::chrono::milliseconds deadline = testing_support::kHangBound);
    // Waits for another viewable top-level window of the program, found by
    // its title; 0 after the deadline.
    Window WaitForTopLevel(const std::string &title, std::chrono::milliseconds deadline = testing_support::kHangBound);
    // Waits for a popup of the program (an open menu); false after the deadline.
    bool WaitForPopup(std::chrono::milliseconds deadline = testing_support::kHangBound);
    bool Running();
    // Closes the main window as a user closes it and waits for the program
    // to end on its own: its wait status, or nothing when it did not end in
    // time (it is killed then).
    std::optional<int> Close(std::chrono::milliseconds deadline = std::chrono::seconds(15));
    // What the program wrote to stdout and stderr.
    std::string Output() const;
    std::string Folder() const { return folder_; }
    std::string SettingsText() const;
    std::string SettingsPath() const { return settingsPath_; }
    Window MainWindow() const { return window_; }
    // When the program was started, in JACK's time (µs).
    jack_time_t Started() const { return started_; }
    pid_t Pid() const { return pid_; }
    int MenuBarHeight() const { return menuBarHeight_; }

    // The main window as the X server shows it.
    QImage Screenshot() const;
    // A point of the client area (designed coordinates) on the screen.
    QPoint ScreenPoint(QPoint client) const;
    void GiveFocus() const;

private:
    const XvfbDisplay &display_;
    std::string folder_;
    std::string settingsPath_;
    pid_t pid_ = 0;
    jack_time_t started_ = 0;
    std::optional<int> status_;
    Window window_ = 0;
    int menuBarHeight_ = -1;
    int scale_ = 1;
    QPoint origin_;
};

// Looks at `condition` every few milliseconds until it holds; false when it
// still does not at the deadline.
bool PollUntil(const std::function<bool()> &condition, std::chrono::milliseconds deadline);

// Waits until `window` has the keyboard focus; false after the deadline.
bool WaitForFocus(Display *display, Window window, std::chrono::milliseconds deadline = testing_support::kHangBound);

// A window as the X server shows it (null when there is none).
QImage WindowImage(Display *display, Window window);

// The first report of a sanitizer (AddressSanitizer, LeakSanitizer,
// UndefinedBehaviorSanitizer) in a program's output, from its first line on;
// empty when there is none.
std::string SanitizerReport(const std::string &output);

// Synthetic input through XTEST.
class XInput {
public:
    explicit XInput(Display *display) : display_(display) {}
    void MoveTo(QPoint screen) const;
    void Button(bool down) const;
    void Key(unsigned keycode, bool down) const;
    // The key code that types `keysym` with the display's layout.
    unsigned KeycodeOf(unsigned long keysym) const;
    // Presses and releases the key of `keysym`.
    void Tap(unsigned long keysym) const;
    // Types printable ASCII text, with Shift where the layout needs it.
    void Type(const std::string &text) const;

private:
    Display *display_;
};

// A window of the test's own that takes the keyboard focus while it lives.
class FocusThief {
public:
    explicit FocusThief(Display *display);
    ~FocusThief();
    FocusThief(const FocusThief &) = delete;
    FocusThief &operator=(const FocusThief &) = delete;

private:
    Display *display_;
    Window window_;
};

// Where the keyboard's top row starts in a screenshot of the main window:
// the first row, from the top, that is dark all along the upper row of keys
// (their 5-pixel outlines), in screen pixels. -1 when there is none.
int FirstKeyboardRow(const QImage &window);

// Where test artifacts (screenshots) go.
std::string ArtifactPath(const std::string &name);

// Median and 95th percentile of a list of delays.
struct DelayFigures {
    double medianMs;
    double p95Ms;
    double maxMs;
};
DelayFigures Figures(std::vector<double> delaysMs);

} // namespace e2e
