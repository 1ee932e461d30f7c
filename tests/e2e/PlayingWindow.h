#pragma once
// The fixture of the end-to-end tests: an Xvfb display and a JACK port of the
// test's own, and the program started on them.

#include "support/HangBound.h"
#include "e2e/E2eSupport.h"
#include "performance/KeyGeometry.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace e2e {

// A piano key's note messages as they arrive.
inline Bytes On(int note, int velocity) { return {0x90, std::uint8_t(note), std::uint8_t(velocity)}; }
inline Bytes Off(int note) { return {0x80, std::uint8_t(note), 0}; }

inline std::vector<Bytes> Notes(const std::vector<Arrival> &arrivals)
{
    std::vector<Bytes> notes;
    for (const auto &arrival : arrivals)
        if (!arrival.bytes.empty() && ((arrival.bytes[0] & 0xF0) == 0x80 || (arrival.bytes[0] & 0xF0) == 0x90))
            notes.push_back(arrival.bytes);
    return notes;
}

// The middle of the transport buttons, in the client area.
inline constexpr QPoint RecordButton{8 + 36, 24 + 20}; // "Aufnahme"
inline constexpr QPoint PlayButton{88 + 36, 24 + 20};  // "Wiedergabe"
inline constexpr QPoint StopButton{168 + 36, 24 + 20}; // "Angehalten"

inline bool IsNote(const Bytes &message) { return IsNoteOrProgram(message) && (message[0] & 0xF0) != 0xC0; }

// The program ended on its own, successfully, and said nothing of a fault
// its sanitizers found (in sanitizer builds this is the leak check).
inline void ExpectCleanEnd(ProgramUnderTest &program)
{
    const std::optional<int> status = program.Close();
    ASSERT_TRUE(status.has_value()) << "the program did not end after its window was closed";
    EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0)
        << "wait status " << *status << "; output:\n" << program.Output();
    EXPECT_EQ(SanitizerReport(program.Output()), "");
}

class PlayingWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(display.Failure().empty()) << "no X display for the end-to-end tests: " << display.Failure();
        try {
            input = std::make_unique<JackInput>();
        } catch (const std::exception &error) {
            FAIL() << error.what();
        }
    }

    // Starts the program playing into the test's port, with `common` as the
    // settings section "Common", and waits until it is ready for input.
    void Start(const std::string &common = {}, std::map<std::string, std::string> environment = {},
               std::vector<std::string> arguments = {})
    {
        const int device = DeviceIndexOf(input->PortName());
        ASSERT_GE(device, 0) << "the program's device list has no " << input->PortName();
        program = std::make_unique<ProgramUnderTest>(
            display, "[Device]\nID=" + std::to_string(device) + "\nName=" + input->PortName() + "\n[Common]\n" + common,
            std::move(environment), std::move(arguments), installedPrefix);
        ASSERT_TRUE(program->WaitForWindow()) << "the main window did not show; see " << program->Folder();
        // The device is opened during start-up, before the window shows.
        input->WaitUntil([&](const auto &) { return input->Connected(); });
        ASSERT_TRUE(input->Connected()) << "the program did not open the test's port (device " << device << ")";
        program->GiveFocus();
        // Keys typed before the program has taken the focus in are lost: a
        // note played through the keyboard shows that it is ready for input.
        const XInput keys(display.Connection());
        const unsigned z = keys.KeycodeOf(0x7a); // XK_z
        bool ready = false;
        for (int attempt = 0; attempt < 20 && !ready; ++attempt) {
            keys.Key(z, true);
            ready = !Notes(input->WaitForMore(1, IsNote, std::chrono::milliseconds(250))).empty();
            keys.Key(z, false);
            input->WaitForMore(ready ? 1 : 0, IsNote);
        }
        ASSERT_TRUE(ready) << "the program never played a key typed into its window";
        input->Clear();
    }

    // A click of the mouse at a point of the client area.
    void Click(QPoint client) const
    {
        const XInput mouse(display.Connection());
        mouse.MoveTo(program->ScreenPoint(client));
        mouse.Button(true);
        mouse.Button(false);
    }

    // The save dialog through the menu's access keys (Alt+`menu`, then
    // `item`), found by its title; 0 when it does not show.
    Window OpenDialogByKeys(unsigned long menu, unsigned long item, const std::string &title)
    {
        const XInput in(display.Connection());
        in.Key(in.KeycodeOf(0xffe9), true); // XK_Alt_L
        in.Tap(menu);
        in.Key(in.KeycodeOf(0xffe9), false);
        in.Tap(item);
        // Qt's own dialog, which takes the keyboard once it is shown; what is
        // typed before goes to the window it blocks, and is lost.
        return program->WaitForTopLevel(title, testing_support::kHangBound);
    }

    // "Aufnahme" > "Speichern...", the file name typed into Qt's German
    // dialog; returns once the file is there.
    void SaveThroughDialog(const std::string &path)
    {
        const XInput in(display.Connection());
        const Window dialog = OpenDialogByKeys(0x61, 0x73, "Speichern unter"); // XK_a, XK_s
        ASSERT_NE(dialog, 0u) << "no save dialog";
        ASSERT_TRUE(WaitForFocus(display.Connection(), dialog)) << "the save dialog did not take the keyboard";
        in.Type(path);
        in.Tap(0xff0d); // XK_Return
        if (!PollUntil([&] { return std::filesystem::exists(path); }, testing_support::kHangBound)) {
            WindowImage(display.Connection(), dialog).save(QString::fromStdString(program->Folder() + "/unsaved.png"));
            FAIL() << "nothing saved as " << path << "; the dialog as it was: unsaved.png in " << program->Folder();
        }
    }

    // Ends a program that holds an unsaved take as a logout does: a close
    // would leave it asking about the take.
    void EndLeavingTheTakeUnsaved()
    {
        ASSERT_EQ(::kill(program->Pid(), SIGTERM), 0);
        ASSERT_TRUE(PollUntil([&] { return !program->Running(); }, testing_support::kHangBound));
        const std::optional<int> status = program->Close();
        EXPECT_TRUE(status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << program->Output();
    }

    // Lets `time` pass while the user holds a key or waits, watching what
    // arrives.
    void Hold(std::chrono::milliseconds time)
    {
        input->WaitUntil([](const auto &) { return false; }, time);
    }

    // A point on a piano key that no other key covers: a white key's lower
    // part, a black key's middle.
    QPoint KeyPoint(int number) const
    {
        const auto &key = performance::KeyTable[number - 1];
        return program->ScreenPoint({key.left + key.width / 2, key.top + key.height * (key.black ? 2 : 3) / 4});
    }

    // Waits for `count` more note messages; returns the note messages so far.
    std::vector<Bytes> WaitForNotes(std::size_t count) { return Notes(input->WaitForMore(count, IsNote)); }

    // Lets a few JACK periods pass, then returns every note message received.
    std::vector<Bytes> SettledNotes()
    {
        Hold(std::chrono::milliseconds(150));
        return Notes(input->Received());
    }

    // Press-to-arrival delays: JACK time just before the synthetic press,
    // JACK time of the process cycle that delivered the Note On.
    DelayFigures PressToArrival(const std::function<void(bool)> &press, const Bytes &noteOn, int presses)
    {
        std::vector<double> delays;
        for (int i = 0; i < presses; ++i) {
            input->Clear();
            const jack_time_t sent = JackInput::Now();
            press(true);
            const auto arrived = input->WaitForMore(1, IsNote);
            press(false);
            input->WaitForMore(1, IsNote);
            if (arrived.empty() || arrived.front().bytes != noteOn) {
                ADD_FAILURE() << "press " << i << " did not arrive as the expected Note On";
                break;
            }
            delays.push_back(double(arrived.front().time - sent) / 1000.0);
        }
        return Figures(delays);
    }

    void Report(const char *what, const DelayFigures &figures, int presses)
    {
        std::printf("%s press to arrival over JACK (%d presses, period 256 frames at 48 kHz): "
                    "median %.2f ms, p95 %.2f ms, max %.2f ms\n",
                    what, presses, figures.medianMs, figures.p95Ms, figures.maxMs);
        RecordProperty(std::string(what) + "_median_ms", std::to_string(figures.medianMs));
    }

    XvfbDisplay display;
    // Where the program under test is installed; empty: the built one.
    std::string installedPrefix;
    std::unique_ptr<JackInput> input;
    std::unique_ptr<ProgramUnderTest> program;
};

} // namespace e2e
