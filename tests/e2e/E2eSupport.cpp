#include "support/HangBound.h"
#include "e2e/E2eSupport.h"
#include "support/TestSoundFont.h"

#include "midi_out/BackendSupport.h"
#include "midi_out/MidiErrors.h"
#include "midi_out/SystemBackend.h"

#include <gtest/gtest.h>

#include <X11/Xatom.h>
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <fcntl.h>
#include <jack/midiport.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char **environ;

namespace fs = std::filesystem;

namespace e2e {

namespace {

// The window's designed client area and the upper row of keys in it.
constexpr int KeyboardLeft = 9;
constexpr int KeyboardRight = 668;
constexpr int UpperRowTop = 70;
constexpr int DesignedWidth = 679;

std::vector<char *> PointersTo(std::vector<std::string> &strings)
{
    std::vector<char *> pointers;
    for (auto &s : strings)
        pointers.push_back(s.data());
    pointers.push_back(nullptr);
    return pointers;
}

// Starts a child that dies with the test, so that a crashed test leaves no
// display or program behind. `output` receives stdout and stderr ("" for
// /dev/null); `passFd`, when not -1, becomes the child's descriptor 3.
pid_t Spawn(std::vector<std::string> arguments, std::vector<std::string> environment, const std::string &output,
            int passFd = -1)
{
    auto argv = PointersTo(arguments);
    auto envp = PointersTo(environment);
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid != 0)
        return pid < 0 ? 0 : pid;
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent)
        _exit(127);
    const int out = output.empty() ? open("/dev/null", O_WRONLY) : open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(out, 1);
    dup2(out, 2);
    if (passFd != -1 && passFd != 3)
        dup2(passFd, 3);
    execvpe(argv[0], argv.data(), envp.data());
    _exit(127);
}

std::vector<std::string> CurrentEnvironment()
{
    std::vector<std::string> variables;
    for (char **entry = environ; *entry != nullptr; ++entry)
        variables.emplace_back(*entry);
    return variables;
}

// A short wait between two looks at something another process is doing.
void Pause() { std::this_thread::sleep_for(std::chrono::milliseconds(10)); }

} // namespace

XvfbDisplay::XvfbDisplay()
{
    int fds[2];
    if (pipe(fds) != 0) {
        failure_ = "no pipe for Xvfb";
        return;
    }
    // Descriptor 3 of the child: the pipe's write end, moved out of the way
    // first in case the read end is descriptor 3 itself.
    const int writeEnd = fcntl(fds[1], F_DUPFD_CLOEXEC, 10);
    close(fds[1]);
    fcntl(fds[0], F_SETFD, FD_CLOEXEC);
    pid_ = Spawn({"Xvfb", "-displayfd", "3", "-screen", "0", "1600x1200x24", "-nolisten", "tcp", "-noreset"},
                 CurrentEnvironment(), "", writeEnd);
    close(writeEnd);
    if (pid_ == 0) {
        close(fds[0]);
        failure_ = "cannot start Xvfb";
        return;
    }
    // Xvfb writes its display number once it accepts connections.
    std::string number;
    pollfd waiting{fds[0], POLLIN, 0};
    char c;
    while (poll(&waiting, 1, 15000) > 0 && read(fds[0], &c, 1) == 1 && c != '\n')
        number += c;
    close(fds[0]);
    if (number.empty()) {
        failure_ = "Xvfb (package xvfb) did not start or report a display within 15 s";
        return;
    }
    number_ = std::stoi(number);
    // An X error (a window gone while it is looked at) makes the look fail,
    // not the test program exit.
    XSetErrorHandler([](Display *, XErrorEvent *) { return 0; });
    display_ = XOpenDisplay(Name().c_str());
    if (display_ == nullptr) {
        failure_ = "cannot connect to Xvfb on " + Name();
        return;
    }
    int event, error, major, minor;
    if (!XTestQueryExtension(display_, &event, &error, &major, &minor))
        failure_ = "Xvfb on " + Name() + " has no XTEST extension";
}

XvfbDisplay::~XvfbDisplay()
{
    if (display_ != nullptr)
        XCloseDisplay(display_);
    if (pid_ != 0) {
        kill(pid_, SIGTERM);
        int status;
        waitpid(pid_, &status, 0);
    }
}

namespace {
// A client name of its own; the sound libraries are prepared before the
// first client is made.
std::string InputClientName()
{
    midi_out::PrepareSoundLibraries();
    static std::atomic<int> counter{0};
    return "sonoret-e2e-" + std::to_string(getpid()) + "-" + std::to_string(++counter);
}
} // namespace

JackInput::JackInput()
    : input_(InputClientName(), &JackInput::Process, this,
             [](void *self) {
                 ++static_cast<JackInput *>(self)->xruns_;
                 return 0;
             })
{
}

bool JackInput::Connected() const { return jack_port_connected(input_.Port()) > 0; }

int JackInput::Process(jack_nframes_t frames, void *self)
{
    auto *input = static_cast<JackInput *>(self);
    void *buffer = jack_port_get_buffer(input->input_.Port(), frames);
    const jack_nframes_t count = jack_midi_get_event_count(buffer);
    if (count == 0)
        return 0;
    const jack_time_t now = jack_get_time();
    {
        std::lock_guard lock(input->mutex_);
        for (jack_nframes_t i = 0; i < count; ++i) {
            jack_midi_event_t event;
            if (jack_midi_event_get(&event, buffer, i) == 0)
                input->received_.push_back({Bytes(event.buffer, event.buffer + event.size), now});
        }
    }
    input->arrived_.notify_all();
    return 0;
}

std::vector<Arrival> JackInput::WaitUntil(const std::function<bool(const std::vector<Arrival> &)> &match,
                                          std::chrono::milliseconds deadline)
{
    std::unique_lock lock(mutex_);
    arrived_.wait_for(lock, deadline, [&] { return match(received_); });
    return received_;
}

namespace {

std::size_t Kept(const std::vector<Arrival> &all, const std::function<bool(const Bytes &)> &keep)
{
    return static_cast<std::size_t>(std::count_if(all.begin(), all.end(), [&](const Arrival &a) { return keep(a.bytes); }));
}

} // namespace

std::vector<Arrival> JackInput::WaitForMore(std::size_t count, const std::function<bool(const Bytes &)> &keep,
                                            std::chrono::milliseconds deadline)
{
    return WaitForTotal(Kept(Received(), keep) + count, keep, deadline);
}

std::vector<Arrival> JackInput::WaitForTotal(std::size_t count, const std::function<bool(const Bytes &)> &keep,
                                             std::chrono::milliseconds deadline)
{
    return WaitUntil([&](const std::vector<Arrival> &all) { return Kept(all, keep) >= count; }, deadline);
}

std::vector<Arrival> JackInput::Received()
{
    std::lock_guard lock(mutex_);
    return received_;
}

void JackInput::Clear()
{
    std::lock_guard lock(mutex_);
    received_.clear();
}

bool IsNoteOrProgram(const Bytes &message)
{
    if (message.empty())
        return false;
    const std::uint8_t kind = message[0] & 0xF0;
    return kind == 0x80 || kind == 0x90 || kind == 0xC0;
}

int DeviceIndexOf(const std::string &portName)
{
    auto backend = midi_out::CreateSystemBackend();
    const auto count = static_cast<std::int32_t>(backend->DeviceCount());
    for (std::int32_t i = 0; i < count; ++i) {
        midi_out::MidiOutCaps caps;
        if (backend->GetDevCaps(i, &caps, sizeof caps) == midi_out::MIDIERR_NOERROR
            && portName == std::string(caps.szPname, strnlen(caps.szPname, sizeof caps.szPname)))
            return i;
    }
    return -1;
}

std::string ProgramUnderTest::builtProgram = std::string(SONORET_BINARY_DIR) + "/src/app/midi-sonoret";

ProgramUnderTest::ProgramUnderTest(const XvfbDisplay &display, const std::string &settings,
                                   std::map<std::string, std::string> environment,
                                   std::vector<std::string> arguments, const std::string &installedPrefix)
    : display_(display)
{
    static std::atomic<int> counter{0};
    const auto *test = ::testing::UnitTest::GetInstance()->current_test_info();
    folder_ = std::string(SONORET_BINARY_DIR) + "/e2e-runs/" + (test ? test->name() : "run") + "-"
              + std::to_string(getpid()) + "-" + std::to_string(++counter);
    fs::remove_all(folder_);
    fs::create_directories(folder_ + "/config");
    std::string executable = folder_ + "/midi-sonoret";
    settingsPath_ = folder_ + "/midi-sonoret.ini";
    if (installedPrefix.empty()) {
        std::error_code linked;
        fs::create_hard_link(builtProgram, executable, linked);
        if (linked)
            fs::copy_file(builtProgram, executable);
    } else {
        executable = installedPrefix + "/bin/midi-sonoret";
        fs::create_directories(folder_ + "/config/midi-sonoret");
        settingsPath_ = folder_ + "/config/midi-sonoret/midi-sonoret.ini";
    }
    std::ofstream(settingsPath_) << settings;

    environment.try_emplace("DISPLAY", display.Name());
    environment.try_emplace("QT_QPA_PLATFORM", "xcb");
    environment.try_emplace("XDG_CONFIG_HOME", folder_ + "/config");
    environment.try_emplace("XDG_STATE_HOME", folder_ + "/state");
    environment.try_emplace("JACK_NO_START_SERVER", "1");
    environment.try_emplace("JACK_NO_AUDIO_RESERVATION", "1");
    environment.try_emplace("MIDI_SONORET_SOUNDFONT", testing_support::kTestSoundFont);
    environment.try_emplace("MIDI_SONORET_AUDIO_DRIVER", "file");
    environment.try_emplace("MIDI_SONORET_AUDIO_FILE", folder_ + "/synth.wav");
    environment.try_emplace("LANG", "C.UTF-8");
    std::vector<std::string> variables;
    for (const auto &variable : CurrentEnvironment()) {
        const std::string name = variable.substr(0, variable.find('='));
        // The program speaks German unless the test sets a language.
        const bool language = name == "LANG" || name.starts_with("LC_") || name == "LANGUAGE"
                              || name == "MIDI_SONORET_LANGUAGE";
        if (!environment.contains(name) && name != "QT_SCALE_FACTOR" && !language)
            variables.push_back(variable);
    }
    for (const auto &[name, value] : environment)
        variables.push_back(name + "=" + value);
    arguments.insert(arguments.begin(), executable);
    // The catalogues beside the executable, as in the build tree.
    if (installedPrefix.empty())
        fs::create_directory_symlink(std::string(SONORET_BINARY_DIR) + "/src/app/translations", folder_ + "/translations");
    started_ = jack_get_time();
    pid_ = Spawn(arguments, variables, folder_ + "/output.log");
}

ProgramUnderTest::~ProgramUnderTest()
{
    // Closed as a user closes it, so that it shuts down normally and its
    // JACK client is gone before the next test counts ports. Not long: a
    // test that leaves a take unsaved leaves the program asking about it,
    // and it is killed then (nothing is checked here).
    Close(std::chrono::seconds(5));
    // A failed test leaves the folder (settings, output, files) to look at.
    if (!::testing::Test::HasFailure())
        fs::remove_all(folder_);
}

std::optional<int> ProgramUnderTest::Close(std::chrono::milliseconds deadline)
{
    if (window_ != 0 && Running()) {
        Display *display = display_.Connection();
        XEvent close{};
        close.xclient.type = ClientMessage;
        close.xclient.window = window_;
        close.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
        close.xclient.format = 32;
        close.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
        close.xclient.data.l[1] = CurrentTime;
        XSendEvent(display, window_, False, NoEventMask, &close);
        XFlush(display);
        const auto end = Clock::now() + deadline;
        while (Running() && Clock::now() < end)
            Pause();
    }
    if (pid_ != 0) {
        kill(pid_, SIGKILL);
        int status;
        waitpid(pid_, &status, 0);
        pid_ = 0;
        return std::nullopt;
    }
    return status_;
}

bool ProgramUnderTest::Running()
{
    if (pid_ == 0)
        return false;
    int status;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = 0;
        status_ = status;
        return false;
    }
    return true;
}

std::string ProgramUnderTest::Output() const
{
    std::ifstream file(folder_ + "/output.log");
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

std::string ProgramUnderTest::SettingsText() const
{
    std::ifstream file(settingsPath_);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

namespace {

// The viewable top-level window of process `pid` titled `title`, other than `except`.
// A viewable top-level window of the process with the title; with none, a
// popup of it (a menu), which the window manager does not frame.
// The window's title in UTF-8: a title that is not Latin-1 ("song.vsq –
// MIDI Sonoret") has no plain WM_NAME, only the compound text and the
// desktop's UTF-8 name.
std::string TitleOf(Display *display, Window window)
{
    const Atom netName = XInternAtom(display, "_NET_WM_NAME", False);
    const Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
    Atom type = 0;
    int format = 0;
    unsigned long items = 0, after = 0;
    unsigned char *data = nullptr;
    std::string title;
    if (XGetWindowProperty(display, window, netName, 0, 1024, False, utf8, &type, &format, &items, &after, &data)
            == Success
        && data != nullptr) {
        if (type == utf8 && format == 8)
            title.assign(reinterpret_cast<const char *>(data), items);
        XFree(data);
    }
    if (!title.empty())
        return title;
    char *name = nullptr;
    if (XFetchName(display, window, &name) && name != nullptr) {
        title = name;
        XFree(name);
    }
    return title;
}

// `titleEnd`: the title may also end with it, as the main window's does
// once it names a file ("song.vsq – MIDI Sonoret").
Window FindWindow(Display *display, pid_t pid, const char *title, Window except = 0, bool titleEnd = false)
{
    const Atom pidAtom = XInternAtom(display, "_NET_WM_PID", False);
    Window root, parent, *children = nullptr;
    unsigned count = 0;
    Window found = 0;
    if (!XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count))
        return 0;
    for (unsigned i = 0; i < count && found == 0; ++i) {
        XWindowAttributes attributes;
        if (!XGetWindowAttributes(display, children[i], &attributes) || attributes.map_state != IsViewable)
            continue;
        Atom type;
        int format;
        unsigned long items, after;
        unsigned char *data = nullptr;
        if (XGetWindowProperty(display, children[i], pidAtom, 0, 1, False, XA_CARDINAL, &type, &format, &items,
                               &after, &data) != Success || data == nullptr)
            continue;
        const bool ours = items == 1 && static_cast<pid_t>(*reinterpret_cast<unsigned long *>(data)) == pid;
        XFree(data);
        if (title == nullptr) {
            if (ours && attributes.override_redirect)
                found = children[i];
            continue;
        }
        if (!ours)
            continue;
        const std::string shown = TitleOf(display, children[i]);
        const std::string_view wanted(title);
        const bool named = shown == wanted
                           || (titleEnd && shown.size() > wanted.size() && shown.ends_with(wanted)
                               && shown[shown.size() - wanted.size() - 1] == ' ');
        if (named && children[i] != except)
            found = children[i];
    }
    XFree(children);
    return found;
}

} // namespace

bool ProgramUnderTest::WaitForWindow(std::chrono::milliseconds deadline)
{
    Display *display = display_.Connection();
    const auto end = Clock::now() + deadline;
    while (Clock::now() < end && Running()) {
        window_ = FindWindow(display, pid_, "MIDI Sonoret", 0, true);
        if (window_ != 0) {
            Window child;
            int x, y;
            XTranslateCoordinates(display, window_, DefaultRootWindow(display), 0, 0, &x, &y, &child);
            origin_ = {x, y};
            const QImage shot = Screenshot();
            scale_ = std::max(1, shot.width() / DesignedWidth);
            const int row = FirstKeyboardRow(shot);
            if (row >= UpperRowTop * scale_) {
                menuBarHeight_ = row / scale_ - UpperRowTop;
                return true;
            }
        }
        Pause();
    }
    return false;
}

Window ProgramUnderTest::WaitForTopLevel(const std::string &title, std::chrono::milliseconds deadline)
{
    const auto end = Clock::now() + deadline;
    while (Clock::now() < end && Running()) {
        // The main window bears the program's name, as its message boxes do.
        if (const Window found = FindWindow(display_.Connection(), pid_, title.c_str(), window_))
            return found;
        Pause();
    }
    return 0;
}

bool ProgramUnderTest::WaitForPopup(std::chrono::milliseconds deadline)
{
    return PollUntil([&] { return !Running() || FindWindow(display_.Connection(), pid_, nullptr) != 0; }, deadline) &&
           Running();
}

bool PollUntil(const std::function<bool()> &condition, std::chrono::milliseconds deadline)
{
    const auto end = Clock::now() + deadline;
    while (!condition()) {
        if (Clock::now() >= end)
            return false;
        Pause();
    }
    return true;
}

bool WaitForFocus(Display *display, Window window, std::chrono::milliseconds deadline)
{
    return PollUntil(
        [&] {
            Window focus;
            int revert;
            XGetInputFocus(display, &focus, &revert);
            return focus == window;
        },
        deadline);
}

QImage ProgramUnderTest::Screenshot() const { return WindowImage(display_.Connection(), window_); }

QImage WindowImage(Display *display, Window window)
{
    XWindowAttributes attributes;
    if (window == 0 || !XGetWindowAttributes(display, window, &attributes))
        return {};
    XImage *image = XGetImage(display, window, 0, 0, attributes.width, attributes.height, AllPlanes, ZPixmap);
    if (image == nullptr)
        return {};
    QImage result(attributes.width, attributes.height, QImage::Format_RGB32);
    for (int y = 0; y < attributes.height; ++y) {
        auto *line = reinterpret_cast<QRgb *>(result.scanLine(y));
        for (int x = 0; x < attributes.width; ++x) {
            const unsigned long pixel = XGetPixel(image, x, y);
            line[x] = qRgb((pixel & image->red_mask) >> 16, (pixel & image->green_mask) >> 8, pixel & image->blue_mask);
        }
    }
    XDestroyImage(image);
    return result;
}

std::string SanitizerReport(const std::string &output)
{
    std::size_t first = std::string::npos;
    for (const char *mark : {"ERROR: AddressSanitizer", "ERROR: LeakSanitizer", "runtime error:",
                             "WARNING: ThreadSanitizer"})
        first = std::min(first, output.find(mark));
    if (first == std::string::npos)
        return {};
    const std::size_t line = output.rfind('\n', first);
    return output.substr(line == std::string::npos ? 0 : line + 1);
}

QPoint ProgramUnderTest::ScreenPoint(QPoint client) const
{
    return origin_ + QPoint(client.x(), client.y() + menuBarHeight_) * scale_;
}

void ProgramUnderTest::GiveFocus() const
{
    XSetInputFocus(display_.Connection(), window_, RevertToParent, CurrentTime);
    XSync(display_.Connection(), False);
}

void XInput::MoveTo(QPoint screen) const
{
    XTestFakeMotionEvent(display_, -1, screen.x(), screen.y(), CurrentTime);
    XFlush(display_);
}

void XInput::Button(bool down) const
{
    XTestFakeButtonEvent(display_, 1, down ? True : False, CurrentTime);
    XFlush(display_);
}

void XInput::Key(unsigned keycode, bool down) const
{
    XTestFakeKeyEvent(display_, keycode, down ? True : False, CurrentTime);
    XFlush(display_);
}

unsigned XInput::KeycodeOf(unsigned long keysym) const { return XKeysymToKeycode(display_, keysym); }

void XInput::Tap(unsigned long keysym) const
{
    Key(KeycodeOf(keysym), true);
    Key(KeycodeOf(keysym), false);
}

void XInput::Type(const std::string &text) const
{
    const unsigned shift = KeycodeOf(XK_Shift_L);
    for (const char c : text) {
        // Printable ASCII characters are their own keysyms.
        const auto keysym = static_cast<unsigned long>(static_cast<unsigned char>(c));
        const unsigned keycode = KeycodeOf(keysym);
        const bool shifted = XkbKeycodeToKeysym(display_, static_cast<KeyCode>(keycode), 0, 0) != keysym;
        if (shifted)
            Key(shift, true);
        Key(keycode, true);
        Key(keycode, false);
        if (shifted)
            Key(shift, false);
    }
}

FocusThief::FocusThief(Display *display) : display_(display)
{
    window_ = XCreateSimpleWindow(display, DefaultRootWindow(display), 700, 600, 200, 100, 0, 0, 0xffffff);
    XMapRaised(display, window_);
    XSync(display, False);
    XSetInputFocus(display, window_, RevertToParent, CurrentTime);
    XSync(display, False);
}

FocusThief::~FocusThief()
{
    XDestroyWindow(display_, window_);
    XSync(display_, False);
}

int FirstKeyboardRow(const QImage &window)
{
    if (window.width() <= KeyboardRight)
        return -1;
    // On a high-density screen everything is a whole multiple larger.
    const int scale = std::max(1, window.width() / DesignedWidth);
    for (int y = 0; y < window.height(); ++y) {
        bool dark = true;
        for (int x = KeyboardLeft * scale; x <= KeyboardRight * scale && dark; ++x)
            dark = qGray(window.pixel(x, y)) < 64;
        if (dark)
            return y;
    }
    return -1;
}

std::string ArtifactPath(const std::string &name)
{
    const std::string folder = std::string(SONORET_BINARY_DIR) + "/e2e-artifacts";
    fs::create_directories(folder);
    return folder + "/" + name;
}

DelayFigures Figures(std::vector<double> delaysMs)
{
    if (delaysMs.empty())
        return {0, 0, 0};
    std::sort(delaysMs.begin(), delaysMs.end());
    const auto at = [&](double q) { return delaysMs[static_cast<std::size_t>(q * double(delaysMs.size() - 1) + 0.5)]; };
    return {at(0.5), at(0.95), delaysMs.back()};
}

} // namespace e2e
