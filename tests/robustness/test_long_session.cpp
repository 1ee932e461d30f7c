// An hour of use on a driven clock: drums on, recordings, playback in a
// loop, instrument and device changes, now and then a failing device. The
// process must hold its memory, its open files and its threads steady.

#include "midi_out/MidiOut.h"
#include "recorder/DrumPattern.h"
#include "recorder/RecordingStream.h"
#include "recorder/Transport.h"
#include "support/TestBackend.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

namespace {

using midi_out::TestBackend;
using recorder::TransportState;

constexpr int kTicksPerMinute = 60 * 1000 / recorder::Transport::ClockIntervalMs;
constexpr int kDrumEvery = recorder::DrumPattern::IntervalMs(120) / recorder::Transport::ClockIntervalMs;

long StatusValue(const char *field)
{
    std::ifstream status("/proc/self/status");
    std::string name;
    while (status >> name) {
        if (name == field) {
            long value = 0;
            status >> value;
            return value;
        }
        status.ignore(4096, '\n');
    }
    return -1;
}

long OpenFiles()
{
    long count = 0;
    for ([[maybe_unused]] const auto &entry : std::filesystem::directory_iterator("/proc/self/fd"))
        ++count;
    return count;
}

// The window's part in the session: the note path that records while
// recording, the instrument from the settings, the device.
class Session : public recorder::TransportHost, public recorder::NoteSink {
public:
    Session()
    {
        auto owned = std::make_unique<TestBackend>(std::vector<std::string>{"Synth", "Port A", "Port B"});
        backend = owned.get();
        backend->errorTexts[7] = "Device failed";
        device = std::make_unique<midi_out::TMidiOutput>(std::move(owned));
        device->SetDeviceID(0);
        device->OpenDevice();
    }

    void SendNote(std::uint8_t status, std::uint8_t data1, std::uint8_t data2) override
    {
        device->SendShortMessage(status, data1, data2);
        if (transport.IsRecording())
            stream.WriteEvent({static_cast<std::uint32_t>(transport.Tick()), status, data1, data2});
    }
    void SelectStoredInstrument() override { SendNote(0xC0, static_cast<std::uint8_t>(instrument), 0); }
    void SilenceDevice() override { device->SilenceDevice(); }
    void SwitchDrumsOff() override { drumsOn = false; }
    void ShowTransportState(TransportState) override {}
    void TakeEnded() override {}

    void ChooseDevice(int index)
    {
        device->CloseDevice();
        device->SetDeviceID(index);
        device->OpenDevice();
        SelectStoredInstrument();
    }

    // One handler call as a timer or the window makes it: a device error
    // ends the call and is counted as one message shown.
    template <typename Action>
    void Handle(Action action)
    {
        try {
            action();
        } catch (const midi_out::EmidioutputError &) {
            ++messages;
        }
    }

    TestBackend *backend = nullptr;
    std::unique_ptr<midi_out::TMidiOutput> device;
    recorder::RecordingStream stream;
    recorder::Transport transport{*this, *this, stream};
    recorder::DrumPattern drums{*this};
    bool drumsOn = true;
    int instrument = 0;
    int messages = 0;
};

TEST(LongSession, AnHourOfUseHoldsMemoryFilesAndThreadsSteady)
{
    Session session;
    long rssAfterWarmUp = 0, filesAfterWarmUp = 0, threadsAfterWarmUp = 0;
    int failuresInjected = 0;
    int messagesOutsideFailures = 0;
    std::size_t longestRecording = 0;

    for (int tick = 0; tick < 60 * kTicksPerMinute; ++tick) {
        const int minute = tick / kTicksPerMinute;
        const int inMinute = tick % kTicksPerMinute;
        if (tick == 5 * kTicksPerMinute) {
            rssAfterWarmUp = StatusValue("VmRSS:");
            filesAfterWarmUp = OpenFiles();
            threadsAfterWarmUp = StatusValue("Threads:");
        }

        const int messagesBefore = session.messages;
        // Every third minute a new recording of a minute, with the drums;
        // in the other minutes it plays in a loop.
        if (inMinute == 0 && minute % 3 == 0) {
            session.drumsOn = true;
            session.Handle([&] { session.transport.Record(); });
        } else if (inMinute == 0 && minute % 3 == 1) {
            longestRecording = std::max(longestRecording, session.stream.Size());
            session.Handle([&] { session.transport.Play(); });
        } else if (!session.transport.IsPlaying() && minute % 3 != 0) {
            session.Handle([&] { session.transport.Play(); });
        }
        if (session.transport.IsRecording() && tick % 7 == 0)
            session.Handle([&] { session.SendNote(tick % 14 == 0 ? 0x90 : 0x80, 60 + tick % 12, 100); });
        if (tick % 600 == 300) {
            session.instrument = (session.instrument + 1) % 128;
            session.Handle([&] { session.SelectStoredInstrument(); });
        }
        if (tick % 9000 == 4500)
            session.Handle([&] { session.ChooseDevice((tick / 9000) % 3); });
        // Now and then the device fails for one tick.
        const bool failing = tick % 2500 == 1235; // on a drum step too
        if (failing) {
            session.backend->failures[TestBackend::Op::ShortMessage] = 7;
            ++failuresInjected;
        }

        session.Handle([&] { session.transport.ClockTick(); });
        if (session.drumsOn && tick % kDrumEvery == 0)
            session.Handle([&] { session.drums.Tick(); });
        if (failing)
            session.backend->failures.erase(TestBackend::Op::ShortMessage);
        else
            messagesOutsideFailures += session.messages - messagesBefore;
        if (tick % 1000 == 999)
            session.backend->ClearCalls(); // the test back end's own log is not the program's
    }

    const long rssAtEnd = StatusValue("VmRSS:");
    std::printf("resident memory: %ld KiB after 5 minutes, %ld KiB after 60; longest recording %zu bytes\n",
                rssAfterWarmUp, rssAtEnd, longestRecording);
    EXPECT_EQ(OpenFiles(), filesAfterWarmUp);
    EXPECT_EQ(StatusValue("Threads:"), threadsAfterWarmUp);
    // A failing tick showed one message per handler that tried to send (the
    // clock's and the drums'), and nothing else ever failed: the session
    // went on after each.
    EXPECT_EQ(messagesOutsideFailures, 0);
    EXPECT_GE(session.messages, 1);
    EXPECT_LE(session.messages, 2 * failuresInjected);
    EXPECT_EQ(session.device->State(), midi_out::dsOpen);
    EXPECT_GT(longestRecording, 1000u);
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
    // Sanitizers keep freed memory in quarantine; there LeakSanitizer checks.
    EXPECT_LT(rssAtEnd - rssAfterWarmUp, 2048) << "KiB grown over 55 minutes";
#endif
}

} // namespace
