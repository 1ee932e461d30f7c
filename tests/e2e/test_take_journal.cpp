// A take that the program never got to save: the program is killed or
// stopped by a signal in the middle of it, started again, and the take comes
// back whole through the question at start.

#include "e2e/PlayingWindow.h"

#include <gtest/gtest.h>

#include <X11/keysym.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace e2e {
namespace {

namespace fs = std::filesystem;

Bytes ReadFile(const fs::path &name)
{
    std::ifstream file(name, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

std::vector<fs::path> Journals(const fs::path &folder)
{
    std::vector<fs::path> found;
    std::error_code ignored;
    for (const auto &entry : fs::directory_iterator(folder / "midi-sonoret", ignored))
        found.push_back(entry.path());
    return found;
}

// The messages of a native recording, without their ticks.
std::vector<Bytes> Messages(const Bytes &recording)
{
    std::vector<Bytes> messages;
    for (std::size_t at = 0; at + 7 <= recording.size(); at += 7)
        messages.push_back(Bytes(recording.begin() + std::ptrdiff_t(at) + 4, recording.begin() + std::ptrdiff_t(at) + 7));
    return messages;
}

class TakeJournal : public PlayingWindow, public ::testing::WithParamInterface<int> {};

TEST_P(TakeJournal, ATakeEndedBySignalComesBackWholeAtTheNextStart)
{
    const int signal = GetParam();
    const fs::path state = fs::temp_directory_path() / ("sonoret-e2e-state-" + std::to_string(getpid()));
    fs::remove_all(state);
    ASSERT_NO_FATAL_FAILURE(Start({}, {{"XDG_STATE_HOME", state.string()}}));
    const XInput in(display.Connection());
    Click(RecordButton);
    input->WaitForMore(1, IsNoteOrProgram); // the instrument, at tick 0
    in.Key(in.KeycodeOf(XK_z), true);
    input->WaitForMore(1, IsNote);
    in.Key(in.KeycodeOf(XK_z), false);
    input->WaitForMore(1, IsNote);
    in.Key(in.KeycodeOf(XK_x), true); // held when the signal comes
    const std::vector<Bytes> played = Notes(input->WaitForMore(1, IsNote));
    ASSERT_EQ(played.size(), 3u);

    // Each record is in the file as soon as it is made: what a kill cannot take.
    std::vector<fs::path> journals;
    ASSERT_TRUE(PollUntil([&] {
        journals = Journals(state);
        return journals.size() == 1 && fs::file_size(journals[0]) == 7 * (1 + played.size());
    }, testing_support::kHangBound)) << "no journal holding the take in " << state;

    input->Clear();
    ASSERT_EQ(::kill(program->Pid(), signal), 0);
    ASSERT_TRUE(PollUntil([&] { return !program->Running(); }, testing_support::kHangBound))
        << "the program did not end on signal " << signal;
    in.Key(in.KeycodeOf(XK_x), false);
    const std::optional<int> status = program->Close();
    std::vector<Bytes> expected = played;
    if (signal == SIGKILL) {
        EXPECT_TRUE(status && WIFSIGNALED(*status));
    } else {
        // Ended as a close ends it: the held note ends, and the take with it.
        EXPECT_TRUE(status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0)
            << "wait status " << status.value_or(-1) << "; output:\n" << program->Output();
        EXPECT_EQ(SettledNotes(), (std::vector<Bytes>{Off(played[2][1])}));
        expected.push_back(Off(played[2][1]));
    }
    journals = Journals(state);
    ASSERT_EQ(journals.size(), 1u) << "the unsaved take's journal stays";
    const Bytes journal = ReadFile(journals[0]);
    std::vector<Bytes> recorded = Messages(journal);
    ASSERT_FALSE(recorded.empty());
    EXPECT_EQ(recorded.front()[0], 0xC0) << "the take starts with its instrument";
    recorded.erase(recorded.begin());
    EXPECT_EQ(recorded, expected);

    // The next start offers it; "Wiederherstellen" (the default) makes it
    // the take, which is saved as any take.
    const int device = DeviceIndexOf(input->PortName());
    program = std::make_unique<ProgramUnderTest>(
        display, "[Device]\nID=" + std::to_string(device) + "\nName=" + input->PortName() + "\n",
        std::map<std::string, std::string>{{"XDG_STATE_HOME", state.string()}});
    ASSERT_TRUE(program->WaitForWindow());
    const Window box = program->WaitForTopLevel("MIDI Sonoret");
    ASSERT_NE(box, 0u) << "the take was not offered";
    ASSERT_TRUE(WaitForFocus(display.Connection(), box));
    in.Tap(XK_Return);
    ASSERT_TRUE(PollUntil([&] { return program->WaitForTopLevel("MIDI Sonoret", std::chrono::milliseconds(1)) == 0; },
                          testing_support::kHangBound));
    program->GiveFocus();
    const std::string saved = program->Folder() + "/Wiederhergestellt.vsq";
    ASSERT_NO_FATAL_FAILURE(SaveThroughDialog(saved));
    // A take cut off by a kill is closed as a stop closes it: the held note
    // ends at the take's last tick.
    Bytes restored = journal;
    if (signal == SIGKILL) {
        const Bytes off = Off(played[2][1]);
        restored.insert(restored.end(), journal.end() - 7, journal.end() - 3);
        restored.insert(restored.end(), off.begin(), off.end());
    }
    EXPECT_EQ(ReadFile(saved), restored);
    EXPECT_TRUE(PollUntil([&] { return Journals(state).empty(); }, testing_support::kHangBound))
        << "the journal of a saved take goes";
    ExpectCleanEnd(*program);
    fs::remove_all(state);
}

INSTANTIATE_TEST_SUITE_P(Signals, TakeJournal, ::testing::Values(SIGKILL, SIGTERM),
                         [](const auto &info) { return info.param == SIGKILL ? "Kill" : "Term"; });

} // namespace
} // namespace e2e
