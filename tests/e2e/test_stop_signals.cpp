// A stop signal ends the program as a close does, whatever the user is being
// asked at that moment: a box or a question of the start, a file dialog, an
// open menu. None of them may outlive the signal and leave the program
// running.

#include "e2e/PlayingWindow.h"

#include <gtest/gtest.h>

#include <X11/keysym.h>

#include <csignal>
#include <filesystem>
#include <fstream>

namespace e2e {
namespace {

namespace fs = std::filesystem;

enum class Moment { BoxForABadFileAtStart, LeftTakeQuestion, SaveDialog, OpenMenu };

struct Case {
    const char *name;
    Moment moment;
    int signal;
};

class StopSignal : public PlayingWindow, public ::testing::WithParamInterface<Case> {
protected:
    void TearDown() override { fs::remove_all(state); }
    const fs::path state = fs::temp_directory_path() / ("sonoret-e2e-stop-" + std::to_string(getpid()));
};

void WriteFile(const fs::path &name, const std::string &bytes)
{
    std::ofstream(name, std::ios::binary) << bytes;
}

TEST_P(StopSignal, EndsTheProgramWithStatusZero)
{
    const Case &c = GetParam();
    fs::remove_all(state);
    fs::create_directories(state / "midi-sonoret");
    // A take that an ended program left: one note.
    const fs::path leftTake = state / "midi-sonoret" / "take-1-1-1.vsq";
    if (c.moment == Moment::LeftTakeQuestion)
        WriteFile(leftTake, std::string("\0\0\0\0\x90\x3c\x64", 7));
    const std::map<std::string, std::string> environment{{"XDG_STATE_HOME", state.string()}};
    const XInput in(display.Connection());
    switch (c.moment) {
    case Moment::BoxForABadFileAtStart:
    case Moment::LeftTakeQuestion: {
        std::vector<std::string> arguments;
        if (c.moment == Moment::BoxForABadFileAtStart) {
            WriteFile(state / "nichts.vsq", std::string("MThd\0\0\0\x06\0\0\0\x01\0\x0a", 14));
            arguments.push_back((state / "nichts.vsq").string());
        }
        const int device = DeviceIndexOf(input->PortName());
        program = std::make_unique<ProgramUnderTest>(
            display, "[Device]\nID=" + std::to_string(device) + "\nName=" + input->PortName() + "\n", environment,
            arguments);
        // The question comes once the window is there; the box for the file
        // before it is.
        if (c.moment == Moment::LeftTakeQuestion) {
            ASSERT_TRUE(program->WaitForWindow()) << "the main window did not show";
        }
        ASSERT_NE(program->WaitForTopLevel("MIDI Sonoret"), 0u) << "no box of the start";
        // The device is opened meanwhile, from the box's loop.
        input->WaitUntil([&](const auto &) { return input->Connected(); });
        ASSERT_TRUE(input->Connected()) << "the program did not open the test's port";
        break;
    }
    case Moment::SaveDialog:
        ASSERT_NO_FATAL_FAILURE(Start({}, environment));
        ASSERT_NE(OpenDialogByKeys(XK_a, XK_s, "Speichern unter"), 0u) << "no save dialog";
        break;
    case Moment::OpenMenu:
        ASSERT_NO_FATAL_FAILURE(Start({}, environment));
        in.Key(in.KeycodeOf(XK_Alt_L), true);
        in.Tap(XK_a);
        in.Key(in.KeycodeOf(XK_Alt_L), false);
        ASSERT_TRUE(program->WaitForPopup()) << "the menu did not open";
        break;
    }

    ASSERT_EQ(::kill(program->Pid(), c.signal), 0);
    ASSERT_TRUE(PollUntil([&] { return !program->Running(); }, testing_support::kHangBound))
        << "the program did not end on signal " << c.signal;
    const std::optional<int> status = program->Close();
    EXPECT_TRUE(status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0)
        << "wait status " << status.value_or(-1) << "; output:\n" << program->Output();
    if (c.moment == Moment::LeftTakeQuestion) {
        EXPECT_TRUE(fs::exists(leftTake)) << "the left take is kept for the next start";
    }
}

INSTANTIATE_TEST_SUITE_P(Moments, StopSignal,
                         ::testing::Values(Case{"BoxForABadFileAtStart", Moment::BoxForABadFileAtStart, SIGTERM},
                                           Case{"LeftTakeQuestion", Moment::LeftTakeQuestion, SIGINT},
                                           Case{"SaveDialog", Moment::SaveDialog, SIGHUP},
                                           Case{"OpenMenu", Moment::OpenMenu, SIGTERM}),
                         [](const auto &info) { return std::string(info.param.name); });

} // namespace
} // namespace e2e
