// The device layer when the JACK server misbehaves: killed while the built-in
// synthesizer plays through it, frozen while a port is closed. Each test runs
// a server of its own under its own name.

#include "raised_text.h"
#include "midi_out/FluidSynthBackend.h"
#include "midi_out/JackSupport.h"
#include "midi_out/MidiErrors.h"
#include "midi_out/MidiOut.h"
#include "midi_out/JackBackend.h"
#include "midi_out/SystemBackend.h"
#include "support/BackendTestSupport.h"
#include "support/HangBound.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <optional>
#include <thread>

using namespace midi_out;
using namespace backend_test;
using namespace std::chrono_literals;

// The built-in synthesizer with its audio on a JACK server of the test's own.
class JackSynthFaults : public ::testing::Test {
protected:
    // Starts the server, opens the synthesizer, waits until it is ready and
    // plays a note.
    void StartSynth(const char *label)
    {
        const std::string server = PrivateServerName(label);
        serverName_.emplace("JACK_DEFAULT_SERVER", server);
        driver_.emplace("MIDI_SONORET_AUDIO_DRIVER", "jack");
        jack.emplace(server);
        ASSERT_TRUE(jack->start()) << "jackd did not start";
        // The window may be asking the server for its ports while the synth
        // starts its audio on a thread of its own, and on a cold machine that
        // call may outlast the window's bound: that is no server gone.
        std::thread asking([] { midi_out::RunBounded([] { std::this_thread::sleep_for(midi_out::JackBound + 250ms); }); });
        out = std::make_unique<TMidiOutput>(CreateSystemBackend());
        out->SetDeviceID(0);
        const bool opened = out->OpenDevice();
        asking.join();
        ASSERT_TRUE(opened);
        ASSERT_EQ(Synth().WaitUntilReady(), MIDIERR_NOERROR);
        ASSERT_EQ(Synth().audioDriver(), "jack");
        out->SendShortMessage(0x90, 60, 100);
    }

    FluidSynthBackend &Synth()
    {
        return static_cast<FluidSynthBackend &>(static_cast<SystemBackend &>(out->Backend()).Part(0));
    }

    std::optional<EnvGuard> serverName_;
    std::optional<EnvGuard> driver_;
    std::optional<PrivateJackServer> jack;
    std::unique_ptr<TMidiOutput> out;
};

TEST_F(JackSynthFaults, SynthPlayingThroughAServerThatIsKilledSurvivesRecountAndClose)
{
    ASSERT_NO_FATAL_FAILURE(StartSynth("synth-audio"));

    jack->kill();
    const std::string noAudio = "The built-in synthesizer found no audio output";
    EXPECT_TRUE(Eventually([&] { return RaisedText([&] { out->SendShortMessage(0x90, 62, 100); }) == noAudio; }))
        << "a send to a synth whose audio is gone must fail";

    // The device menu counts again (a new JACK client is tried), then Stop
    // closes and reopens, and the window goes.
    out->Backend().RefreshDevices();
    EXPECT_EQ(RaisedText([&] { out->SendShortMessage(0x80, 60, 0); }), noAudio);
    EXPECT_TRUE(out->CloseDevice());
    EXPECT_FALSE(out->OpenDevice()) << "no audio output without a server";
    EXPECT_EQ(out->LastResult(), MIDIERR_NOAUDIO);

    // A new server: the next open finds its audio output again.
    ASSERT_TRUE(WaitForBoundedCalls(testing_support::kHangBound));
    ASSERT_TRUE(jack->start()) << "jackd did not start again";
    out->Backend().RefreshDevices();
    ASSERT_TRUE(out->OpenDevice());
    EXPECT_EQ(Synth().audioDriver(), "jack");
    out->SendShortMessage(0x90, 60, 100);
    EXPECT_TRUE(out->CloseDevice());
    out.reset();
}

TEST_F(JackSynthFaults, SynthPlayingThroughAFrozenServerClosesAndGoesWithinTheBound)
{
    ASSERT_NO_FATAL_FAILURE(StartSynth("synth-frozen"));

    jack->freeze();
    const auto start = std::chrono::steady_clock::now();
    out->SendShortMessage(0x80, 60, 0);
    EXPECT_TRUE(out->CloseDevice());
    out.reset(); // the window goes: its audio output must not hold it
    EXPECT_LT(std::chrono::steady_clock::now() - start, testing_support::kHangBound);
    jack->thaw();
    EXPECT_TRUE(WaitForBoundedCalls(testing_support::kHangBound));
}

TEST(JackFaults, ClosingAPortOfAFrozenServerGivesItUpWithinTheBound)
{
    const std::string server = PrivateServerName("frozen");
    EnvGuard serverName("JACK_DEFAULT_SERVER", server);
    PrivateJackServer jack(server, PrivateJackServer::Mode::Synchronous);
    ASSERT_TRUE(jack.start()) << "jackd did not start";
    JackReceiver receiver;

    JackBackend ports;
    const std::int32_t id = FindDevice(ports, receiver.portName());
    ASSERT_GE(id, 0);
    DeviceHandle handle = 0;
    ASSERT_EQ(ports.Open(&handle, id, nullptr, 0, CALLBACK_FUNCTION), MIDIERR_NOERROR);
    ASSERT_EQ(ports.ShortMessage(handle, Pack(0x90, 60, 100)), MIDIERR_NOERROR);
    EXPECT_EQ(receiver.waitFor(1), (std::vector<Bytes>{{0x90, 60, 100}}));

    jack.freeze();
    // Close and reopen, as a device change does. Neither may hang on the
    // stopped server (it used to block for as long as the server stayed
    // stopped).
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(ports.Close(handle), MIDIERR_NOERROR);
    EXPECT_EQ(ports.Open(&handle, id, nullptr, 0, CALLBACK_FUNCTION), MIDIERR_PORTGONE)
        << "the port is given up while its close still waits for the server";
    ports.RefreshDevices();
    EXPECT_LT(std::chrono::steady_clock::now() - start, testing_support::kHangBound);

    // Once the server runs again, the close ends by itself and the port
    // opens as before.
    jack.thaw();
    ASSERT_TRUE(WaitForBoundedCalls(testing_support::kHangBound));
    receiver.clear();
    const std::int32_t again = FindDevice(ports, receiver.portName());
    ASSERT_GE(again, 0);
    ASSERT_EQ(ports.Open(&handle, again, nullptr, 0, CALLBACK_FUNCTION), MIDIERR_NOERROR);
    ASSERT_EQ(ports.ShortMessage(handle, Pack(0xC0, 7)), MIDIERR_NOERROR);
    const std::vector<Bytes> received = receiver.waitFor(1);
    ASSERT_FALSE(received.empty());
    EXPECT_EQ(received.back(), (Bytes{0xC0, 7}));
    EXPECT_EQ(ports.Close(handle), MIDIERR_NOERROR);
}

TEST(JackFaults, PortOfAKilledServerFailsItsSendsAndClosesAtOnce)
{
    const std::string server = PrivateServerName("killed");
    EnvGuard serverName("JACK_DEFAULT_SERVER", server);
    PrivateJackServer jack(server, PrivateJackServer::Mode::Synchronous);
    ASSERT_TRUE(jack.start()) << "jackd did not start";
    TMidiOutput out(CreateSystemBackend());
    {
        JackReceiver receiver;
        out.Backend().RefreshDevices();
        out.SetProductName(receiver.portName());
        ASSERT_TRUE(out.OpenDevice());
        out.SendShortMessage(0x90, 60, 100);
        EXPECT_EQ(receiver.waitFor(1).size(), 1u);
        jack.kill();
    }
    const std::string gone = "The MIDI port is no longer available";
    EXPECT_TRUE(Eventually([&] { return RaisedText([&] { out.SendShortMessage(0x80, 60, 0); }) == gone; }));
    const auto start = std::chrono::steady_clock::now();
    out.Backend().RefreshDevices();
    EXPECT_TRUE(out.CloseDevice());
    EXPECT_FALSE(out.OpenDevice()) << "the refreshed list has the port no more";
    EXPECT_LT(std::chrono::steady_clock::now() - start, testing_support::kHangBound);
    ASSERT_TRUE(WaitForBoundedCalls(testing_support::kHangBound));
}

TEST(JackWaitPoint, AClientHasItsOwnOnlyWhenTheMapsShowItUnderItsName)
{
    const auto line = [](const std::string &file) {
        return "7fd6-7fd7 rw-s 00000000 00:1b 48 /dev/shm/" + file + "\n";
    };
    const std::string system = line("jack_sem.0_srv_system");
    const struct {
        std::string maps;
        const char *client;
        bool mapped;
    } cases[] = {
        {system + line("jack_sem.0_srv_MIDI Sonoret-4151"), "MIDI Sonoret-4151", true},
        {system + line("jack_sem.0_srv_look-26319 (deleted)"), "MIDI Sonoret-4151", false}, // inherited
        {system + line("jack_sem.0_srv_MIDI Sonoret-4151 (deleted)"), "MIDI Sonoret-4151", false},
        {system + line("jack_sem.0_srv_MIDI Sonoret-4151"), "MIDI Sonoret-41", false},
        {line("jack_sem.0_srv_a_b_c"), "a/b\\c", true},
        {"7fd6-7fd7 r-xp 00000000 08:01 77 /usr/lib/libjack.so.0\n", "x", true}, // waits some other way
    };
    for (const auto &c : cases)
        EXPECT_EQ(midi_out::ClientWaitPointMapped(c.maps, c.client), c.mapped) << c.maps << c.client;
}
