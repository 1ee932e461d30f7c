// A keyboard played into the program over JACK: the notes come out of the
// program's output port and land in the recording the user saves.

#include "e2e/PlayingWindow.h"
#include "support/JackMidiSource.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <unistd.h>

namespace e2e {
namespace {

using std::chrono::milliseconds;

TEST_F(PlayingWindow, AKeyboardOnTheInputPlaysThroughTheOutputAndIsRecordedAndSaved)
{
    testing_support::JackMidiSource keyboard("sonoret-e2e-keys-" + std::to_string(getpid()));
    ASSERT_NO_FATAL_FAILURE(Start("\n[InputDevice]\nName=" + keyboard.PortName() + "\nID=0\n"));
    Click(RecordButton);
    input->WaitForMore(1, IsNoteOrProgram); // the instrument, at tick 0

    const std::vector<Bytes> played{{0x90, 60, 100}, {0xB0, 64, 127}, {0x90, 64, 90}, {0xF0, 0x7D, 0x01, 0xF7},
                                    {0x80, 60, 0},   {0xB0, 64, 0},   {0x80, 64, 0}};
    // The notes, the pedal and system exclusive; not the controllers a closing device sends.
    const auto isPlayed = [](const Bytes &m) {
        return IsNote(m) || (m.size() == 3 && m[0] == 0xB0 && m[1] == 64) || (!m.empty() && m[0] == 0xF0);
    };
    for (const Bytes &message : played) {
        keyboard.Play(message);
        Hold(milliseconds(60));
    }
    // All of them, counted from the start of the take (most came while they were played).
    const std::vector<Arrival> arrived = input->WaitUntil([&](const std::vector<Arrival> &so_far) {
        return std::size_t(std::count_if(so_far.begin(), so_far.end(),
                                         [&](const Arrival &a) { return isPlayed(a.bytes); })) >= played.size();
    });
    std::vector<Bytes> out;
    for (const Arrival &a : arrived)
        if (isPlayed(a.bytes))
            out.push_back(a.bytes);
    EXPECT_EQ(out, played) << "JACK cycles run late: " << input->Xruns();
    Click(StopButton);

    const std::string saved = program->Folder() + "/Eingang.vsq";
    ASSERT_NO_FATAL_FAILURE(SaveThroughDialog(saved));
    std::ifstream file(saved, std::ios::binary);
    const Bytes bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    std::vector<Bytes> recorded = played; // all but system exclusive
    recorded.erase(recorded.begin() + 3);
    ASSERT_EQ(bytes.size(), 7 * (recorded.size() + 1));
    EXPECT_EQ(Bytes(bytes.begin() + 4, bytes.begin() + 7), (Bytes{0xC0, 0, 0})); // the instrument
    std::uint32_t lastTick = 0;
    for (std::size_t i = 0; i < recorded.size(); ++i) {
        const std::size_t at = 7 * (i + 1);
        const std::uint32_t tick = bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | std::uint32_t(bytes[at + 3]) << 24;
        EXPECT_GE(tick, lastTick) << "message " << i;
        lastTick = tick;
        EXPECT_EQ(Bytes(bytes.begin() + at + 4, bytes.begin() + at + 7), recorded[i]) << "message " << i;
    }
    EXPECT_GE(lastTick, 3u); // seven messages 60 ms apart span a few 50 ms ticks

    // The keyboard's program ends: the window says so once.
    keyboard.Close();
    const Window box = program->WaitForTopLevel("MIDI Sonoret");
    ASSERT_NE(box, 0u) << "no message that the input has gone";
    // A Return typed before the box has the keyboard goes to the window it blocks.
    ASSERT_TRUE(WaitForFocus(display.Connection(), box)) << "the message did not take the keyboard";
    XInput(display.Connection()).Tap(0xff0d); // XK_Return
    ExpectCleanEnd(*program);
}

} // namespace
} // namespace e2e
