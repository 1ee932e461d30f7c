// Long messages through the real back ends: a System Exclusive message over a
// JACK port arrives byte for byte, and the built-in synthesizer acts on one.

#include "raised_text.h"
#include "midi_out/FluidSynthBackend.h"
#include "midi_out/MidiOut.h"
#include "midi_out/JackBackend.h"
#include "midi_out/SystemBackend.h"
#include "support/BackendTestSupport.h"
#include "support/EventLoop.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <optional>

using namespace midi_out;
using namespace backend_test;

namespace {

using testing_support::ProcessEventsUntil;

// A manufacturer-specific System Exclusive message of `length` bytes whose
// data bytes run through every 7-bit value.
Bytes SysEx(std::size_t length)
{
    Bytes bytes(length);
    bytes.front() = 0xF0;
    bytes[1] = 0x7D; // non-commercial
    for (std::size_t i = 2; i + 1 < length; ++i)
        bytes[i] = static_cast<std::uint8_t>(i % 128);
    bytes.back() = 0xF7;
    return bytes;
}

struct Finished {
    explicit Finished(TMidiOutput &out)
    {
        out.Onmidioutput = [this](TMidiOutput *) { ++count; };
    }
    int count = 0;
};

// A system device component opened on a JACK input port of the test's own.
class JackLongMessages : public ::testing::Test {
protected:
    void SetUp() override
    {
        REQUIRE_JACK_SERVER();
        receiver.emplace();
        // Made after the receiver: the device list is read when the component is made.
        out.emplace(CreateSystemBackend());
        out->SetProductName(receiver->portName());
        ASSERT_TRUE(out->OpenDevice());
    }

    std::optional<JackReceiver> receiver;
    std::optional<TMidiOutput> out;
};

} // namespace

TEST_F(JackLongMessages, SysExArrivesByteForByteAndFinishesOnce)
{
    Finished finished(*out);
    // Done means handed on: by then the receiver has the bytes.
    std::size_t arrivedAtDone = 0;
    out->Onmidioutput = [&](TMidiOutput *) {
        ++finished.count;
        arrivedAtDone = receiver->waitFor(2, std::chrono::milliseconds(0)).size();
    };

    const Bytes message = SysEx(1500);
    out->SendShortMessage(0x90, 60, 100);
    out->SendLongMessage(message.data(), static_cast<std::uint16_t>(message.size()));
    out->SendShortMessage(0x80, 60, 0);
    ProcessEventsUntil([&] { return finished.count > 0; });
    EXPECT_EQ(receiver->waitFor(3), (std::vector<Bytes>{{0x90, 60, 100}, message, {0x80, 60, 0}}));
    EXPECT_EQ(finished.count, 1);
    EXPECT_GE(arrivedAtDone, 2u);
    EXPECT_EQ(out->LongMessagesInFlight(), 0u);
    receiver->settle();
    QCoreApplication::processEvents();
    EXPECT_EQ(finished.count, 1);
}

TEST_F(JackLongMessages, CloseReportsWhatIsStillUnderWayAndReleasesIt)
{
    Finished finished(*out);
    const Bytes message = SysEx(200);
    out->SendLongMessage(message.data(), 200);
    out->SendLongMessage(message.data(), 200);
    ASSERT_TRUE(out->CloseDevice());
    ProcessEventsUntil([&] { return finished.count == 2; });
    EXPECT_EQ(finished.count, 2);
    EXPECT_EQ(out->LongMessagesInFlight(), 0u);
    const auto received = receiver->waitFor(2);
    EXPECT_EQ(std::count(received.begin(), received.end(), message), 2);
}

TEST_F(JackLongMessages, MessageLongerThanAPortTakesIsRefused)
{
    const Bytes message = SysEx(JackBackend::MaxJackMessage + 1);
    EXPECT_EQ(RaisedText([&] { out->SendLongMessage(message.data(), static_cast<std::uint16_t>(message.size())); }),
              "The MIDI port did not accept the message");
    const Bytes largest = SysEx(JackBackend::MaxJackMessage);
    out->SendLongMessage(largest.data(), static_cast<std::uint16_t>(largest.size()));
    EXPECT_EQ(receiver->waitFor(1), std::vector<Bytes>{largest});
}

namespace {

// The built-in synthesizer behind the component, rendering into a buffer.
struct OfflineSynthComponent {
    OfflineSynthComponent()
    {
        auto owned = std::make_unique<FluidSynthBackend>(FluidSynthBackend::Output::Offline);
        synth = owned.get();
        out = std::make_unique<TMidiOutput>(std::move(owned));
        out->SetDeviceID(0);
    }
    // Peak magnitude of the next `frames` frames.
    float Peak(int frames = 4800)
    {
        std::vector<float> left(static_cast<std::size_t>(frames)), right(left.size());
        EXPECT_TRUE(synth->Render(frames, left.data(), right.data()));
        float peak = 0;
        for (std::size_t i = 0; i < left.size(); ++i)
            peak = std::max({peak, std::fabs(left[i]), std::fabs(right[i])});
        return peak;
    }
    FluidSynthBackend *synth;
    std::unique_ptr<TMidiOutput> out;
};

// The synthesizer opened, its completions counted.
class SynthLongMessages : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!FluidSynthBackend::FindSoundFont())
            GTEST_FAIL() << "no General MIDI SoundFont installed";
        ASSERT_TRUE(c.out->OpenDevice());
    }

    OfflineSynthComponent c;
    Finished finished{*c.out};
};

} // namespace

TEST_F(SynthLongMessages, MasterVolumeZeroSilencesAHeldNote)
{
    // Program 1 sustains as long as the key is held.
    c.out->SendShortMessage(0xC0, 19, 0); // church organ: no decay
    c.out->SendShortMessage(0x90, 60, 127);
    c.Peak();
    EXPECT_GT(c.Peak(), 0.01f);

    const Bytes masterVolumeZero = {0xF0, 0x7F, 0x7F, 0x04, 0x01, 0x00, 0x00, 0xF7};
    c.out->SendLongMessage(masterVolumeZero.data(), static_cast<std::uint16_t>(masterVolumeZero.size()));
    c.Peak(48000); // what is left is the reverberation's tail
    EXPECT_LT(c.Peak(), 1e-5f);

    // GM System On resets the synth and brings the volume back.
    const Bytes gmSystemOn = {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7};
    c.out->SendLongMessage(gmSystemOn.data(), static_cast<std::uint16_t>(gmSystemOn.size()));
    c.out->SendShortMessage(0x90, 64, 127);
    c.Peak();
    EXPECT_GT(c.Peak(), 0.01f);
    ProcessEventsUntil([&] { return finished.count == 2; });
    EXPECT_EQ(finished.count, 2);
}

TEST_F(SynthLongMessages, OtherLongMessagesAreIgnoredWithoutError)
{
    const Bytes noteOn = {0x90, 60, 127};         // not System Exclusive
    const Bytes unknown = {0xF0, 0x43, 0x7F, 0xF7}; // understood by no one
    c.out->SendLongMessage(noteOn.data(), 3);
    c.out->SendLongMessage(unknown.data(), 4);
    EXPECT_LT(c.Peak(), 1e-4f);
    ProcessEventsUntil([&] { return finished.count == 2; });
    EXPECT_EQ(finished.count, 2);
}
