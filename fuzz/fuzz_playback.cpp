// Playback of any native recording through the transport, sending through
// the device component to the test back end, with sends failing at the
// input's choice. Every whole record must be tried exactly once, in stream
// order, at the first clock tick at which it is due and no earlier record
// is pending, a bounded number a tick; a failed send costs only that
// message; playback always ends with a Note Off for each note it left on and
// the instrument selected again.

#include "FuzzSupport.h"

#include "midi_out/MidiOut.h"
#include "recorder/RecordingStream.h"
#include "recorder/SoundingNotes.h"
#include "recorder/Transport.h"
#include "support/TestBackend.h"

#include <QCoreApplication>

#include <algorithm>
#include <memory>
#include <vector>

namespace {

constexpr std::uint8_t kProgram = 7;
constexpr midi_out::MidiResult kFailure = 6; // any error code

std::uint32_t Pack(std::uint8_t status, std::uint8_t data1, std::uint8_t data2)
{
    return status | data1 << 8 | std::uint32_t(data2) << 16;
}

struct Attempt {
    std::uint32_t message;
    std::int32_t tick;
    bool failed;
};

class Host : public recorder::TransportHost, public recorder::NoteSink {
public:
    Host(midi_out::TMidiOutput &device, midi_out::TestBackend &backend, std::uint8_t failMask)
        : device_(device), backend_(backend), failMask_(failMask)
    {
    }

    void SendNote(std::uint8_t status, std::uint8_t data1, std::uint8_t data2) override
    {
        // Sends fail in the pattern of the mask's bits.
        const bool fail = (failMask_ >> (attempts.size() % 8)) & 1;
        if (fail)
            backend_.failures[midi_out::TestBackend::Op::ShortMessage] = kFailure;
        else
            backend_.failures.erase(midi_out::TestBackend::Op::ShortMessage);
        attempts.push_back({Pack(status, data1, data2), transport->Tick(), fail});
        device_.SendShortMessage(status, data1, data2);
        FUZZ_CHECK(!fail);
    }
    void SelectStoredInstrument() override { SendNote(0xC0, kProgram, 0); }
    void SilenceDevice() override { device_.SilenceDevice(); }
    void SwitchDrumsOff() override { drumsSwitchedOff = true; }
    void ShowTransportState(recorder::TransportState state) override { shown.push_back(state); }
    void TakeEnded() override {}

    const recorder::Transport *transport = nullptr;
    std::vector<Attempt> attempts;
    std::vector<recorder::TransportState> shown;
    bool drumsSwitchedOff = false;

private:
    midi_out::TMidiOutput &device_;
    midi_out::TestBackend &backend_;
    std::uint8_t failMask_;
};

std::int32_t SignedTickAt(const std::vector<std::uint8_t> &bytes, std::size_t at)
{
    const std::uint32_t tick = bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16
                               | std::uint32_t(bytes[at + 3]) << 24;
    return static_cast<std::int32_t>(tick);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    // The device component's notification window is a QObject.
    static QCoreApplication application(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (!QCoreApplication::instance()) {
        static int argc = 1;
        static char name[] = "fuzz_playback";
        static char *argv[] = {name, nullptr};
        char **args = argv;
        LLVMFuzzerInitialize(&argc, &args);
    }
    fuzz::FuzzInput input(data, size);
    const std::uint8_t failMask = input.Byte();
    const std::string recording = input.Rest();

    auto backendOwner = std::make_unique<midi_out::TestBackend>(std::vector<std::string>{"Fuzz"});
    auto &backend = *backendOwner;
    backend.errorTexts[kFailure] = "Device failed";
    midi_out::TMidiOutput device(std::move(backendOwner));
    device.SetDeviceID(0);
    FUZZ_CHECK(device.OpenDevice());

    recorder::RecordingStream stream;
    stream.Write(recording.data(), recording.size());
    Host host(device, backend, failMask);
    recorder::Transport transport(host, host, stream);
    host.transport = &transport;
    transport.SetTick(12345);

    std::size_t failures = 0;
    try {
        transport.Play();
    } catch (const midi_out::EmidioutputError &) {
        ++failures;
    }
    FUZZ_CHECK(host.drumsSwitchedOff && transport.Tick() == 0);

    // Ticks at which nothing is due only count, so the driven clock jumps
    // over them; every tick that sends or ends runs for real.
    const auto &bytes = stream.Bytes();
    for (std::size_t ticks = 0; transport.IsPlaying(); ++ticks) {
        FUZZ_CHECK(ticks <= 2 * (recording.size() / recorder::RecordedEvent::kSize) + 4);
        const std::size_t at = stream.Position();
        if (at + 4 <= bytes.size() && SignedTickAt(bytes, at) > transport.Tick())
            transport.SetTick(SignedTickAt(bytes, at));
        try {
            transport.ClockTick();
        } catch (const midi_out::EmidioutputError &) {
            ++failures;
        }
    }
    FUZZ_CHECK(host.shown.front() == recorder::TransportState::Playing);
    FUZZ_CHECK(host.shown.back() == recorder::TransportState::Stopped);

    // The model: the instrument; every whole record in order at the tick at
    // which it is due, at most MaxEventsPerTick tries a tick (a failed try
    // ends its tick early); a Note Off for each note that playback switched
    // on and left on; the instrument again.
    std::vector<Attempt> expected{{Pack(0xC0, kProgram, 0), 0, false}};
    const auto failedAt = [&](std::size_t i) { return i < host.attempts.size() && host.attempts[i].failed; };
    std::size_t raised = failedAt(0) ? 1 : 0;
    recorder::SoundingNotes left;
    std::int32_t time = 0;
    std::size_t triesThisTick = 0;
    for (std::size_t at = 0; at + recorder::RecordedEvent::kSize <= bytes.size();
         at += recorder::RecordedEvent::kSize) {
        if (triesThisTick == recorder::Transport::MaxEventsPerTick) {
            ++time;
            triesThisTick = 0;
        }
        if (SignedTickAt(bytes, at) > time) {
            time = SignedTickAt(bytes, at);
            triesThisTick = 0;
        }
        expected.push_back({Pack(bytes[at + 4], bytes[at + 5], bytes[at + 6]), time, false});
        if (failedAt(expected.size() - 1)) {
            ++raised;
            triesThisTick = 0;
        } else {
            ++triesThisTick;
            left.Track(bytes[at + 4], bytes[at + 5], bytes[at + 6]);
        }
    }
    // A last record cut short ends playback when its tick is due.
    const std::size_t whole = bytes.size() - bytes.size() % recorder::RecordedEvent::kSize;
    if (bytes.size() - whole >= 4) {
        if (triesThisTick == recorder::Transport::MaxEventsPerTick)
            ++time;
        time = std::max(time, SignedTickAt(bytes, whole));
    }
    const std::size_t ending = expected.size();
    for (const auto &note : left.TakeAll())
        expected.push_back({Pack(recorder::SoundingNotes::NoteOffStatus(note.channel), note.key, 0), time, false});
    expected.push_back({expected.front().message, time, false});
    // The end raises one error however many of its sends failed.
    for (std::size_t i = ending; i < expected.size(); ++i) {
        if (failedAt(i)) {
            ++raised;
            break;
        }
    }

    FUZZ_CHECK(host.attempts.size() == expected.size());
    std::vector<std::uint32_t> messages;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        FUZZ_CHECK(host.attempts[i].message == expected[i].message);
        FUZZ_CHECK(host.attempts[i].tick == expected[i].tick);
        messages.push_back(expected[i].message);
    }
    // One error per failed tick, and every message reached the device once.
    FUZZ_CHECK(raised == failures);
    FUZZ_CHECK(backend.SentShortMessages() == messages);
    return 0;
}
