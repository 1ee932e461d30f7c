// The system back end that numbers several back ends as one, the framing of
// short messages and the device names shared by the real back ends, and the
// count on a machine without a JACK server.

#include "midi_out/BackendSupport.h"
#include "midi_out/MidiErrors.h"
#include "midi_out/MidiOut.h"
#include "midi_out/SystemBackend.h"
#include "support/TestBackend.h"
#include "support/BackendTestSupport.h"
#include "support/HangBound.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <cstring>

extern char **environ;

using namespace midi_out;
using namespace backend_test;
using Op = TestBackend::Op;

namespace {

// A system back end over test back ends with the given device names.
struct System {
    explicit System(std::vector<std::vector<std::string>> names)
    {
        std::vector<std::unique_ptr<MidiBackend>> owned;
        for (auto &partNames : names) {
            auto part = std::make_unique<TestBackend>(std::move(partNames), std::nullopt);
            parts.push_back(part.get());
            owned.push_back(std::move(part));
        }
        backend = std::make_unique<SystemBackend>(std::move(owned));
    }
    std::vector<TestBackend *> parts;
    std::unique_ptr<SystemBackend> backend;
};

} // namespace

TEST(SystemBackend, NumbersTheDevicesOfAllPartsInOrderAndPassesCallsToTheirOwner)
{
    System s({{"Synth"}, {"A", "B"}, {"C"}});
    SystemBackend &backend = *s.backend;
    // Made, it asks no part for its devices: that waits for the first question.
    for (TestBackend *part : s.parts)
        EXPECT_TRUE(part->CallsOf(Op::GetDevCaps).empty());
    ASSERT_EQ(backend.DeviceCount(), 4u);
    EXPECT_EQ(NameOf(backend, 0), "Synth");
    EXPECT_EQ(NameOf(backend, 1), "A");
    EXPECT_EQ(NameOf(backend, 2), "B");
    EXPECT_EQ(NameOf(backend, 3), "C");
    MidiOutCaps caps;
    EXPECT_EQ(backend.GetDevCaps(4, &caps, sizeof caps), MIDIERR_BADDEVICEID);
    EXPECT_EQ(backend.GetDevCaps(-2, &caps, sizeof caps), MIDIERR_BADDEVICEID);

    DeviceHandle handle = 0;
    ASSERT_EQ(backend.Open(&handle, 2, nullptr, 0, CALLBACK_FUNCTION), MIDIERR_NOERROR);
    const auto opens = s.parts[1]->CallsOf(Op::Open);
    ASSERT_EQ(opens.size(), 1u);
    EXPECT_EQ(opens[0].deviceId, 1);
    EXPECT_TRUE(s.parts[0]->CallsOf(Op::Open).empty());
    EXPECT_TRUE(s.parts[2]->CallsOf(Op::Open).empty());

    ASSERT_EQ(backend.ShortMessage(handle, 0x643C90), MIDIERR_NOERROR);
    const auto sends = s.parts[1]->CallsOf(Op::ShortMessage);
    ASSERT_EQ(sends.size(), 1u);
    EXPECT_EQ(sends[0].handle, opens[0].handle);
    EXPECT_EQ(sends[0].value, 0x643C90u);

    ASSERT_EQ(backend.Close(handle), MIDIERR_NOERROR);
    ASSERT_EQ(s.parts[1]->CallsOf(Op::Close).size(), 1u);
    EXPECT_EQ(s.parts[1]->CallsOf(Op::Close)[0].handle, opens[0].handle);
    EXPECT_EQ(backend.Close(handle), MIDIERR_INVALHANDLE);
    EXPECT_EQ(backend.ShortMessage(handle, 0x643C90), MIDIERR_INVALHANDLE);
}

TEST(SystemBackend, MapperIsDeviceZeroUnderItsOwnName)
{
    System s({{"Synth"}, {"A"}});
    MidiOutCaps caps;
    ASSERT_EQ(s.backend->GetDevCaps(MIDI_MAPPER, &caps, sizeof caps), MIDIERR_NOERROR);
    EXPECT_STREQ(caps.szPname, "MIDI Mapper");
    EXPECT_EQ(caps.wTechnology, MOD_MAPPER);

    DeviceHandle handle = 0;
    ASSERT_EQ(s.backend->Open(&handle, MIDI_MAPPER, nullptr, 0, CALLBACK_FUNCTION), MIDIERR_NOERROR);
    ASSERT_EQ(s.parts[0]->CallsOf(Op::Open).size(), 1u);
    EXPECT_EQ(s.parts[0]->CallsOf(Op::Open)[0].deviceId, 0);

    System none(std::vector<std::vector<std::string>>(1));
    EXPECT_EQ(none.backend->DeviceCount(), 0u);
    EXPECT_EQ(none.backend->GetDevCaps(MIDI_MAPPER, &caps, sizeof caps), MIDIERR_BADDEVICEID);
}

TEST(SystemBackend, CountNamesAndOpenReferToTheLastRefresh)
{
    System s({{"Synth"}, {"A", "B"}, {"C"}});
    ASSERT_EQ(s.backend->DeviceCount(), 4u);
    // A port appears in the second part: until the next refresh nothing
    // changes, and index 3 is still C.
    s.parts[1]->devices.push_back(TestBackend::Caps("D"));
    EXPECT_EQ(s.backend->DeviceCount(), 4u);
    EXPECT_EQ(NameOf(*s.backend, 3), "C");
    DeviceHandle handle = 0;
    ASSERT_EQ(s.backend->Open(&handle, 3, nullptr, 0, CALLBACK_FUNCTION), MIDIERR_NOERROR);
    ASSERT_EQ(s.parts[2]->CallsOf(Op::Open).size(), 1u);
    EXPECT_EQ(s.parts[2]->CallsOf(Op::Open)[0].deviceId, 0);
    EXPECT_TRUE(s.parts[1]->CallsOf(Op::Open).empty());
    ASSERT_EQ(s.backend->Close(handle), MIDIERR_NOERROR);
    for (TestBackend *part : s.parts)
        part->ClearCalls();

    // Counting and naming ask the parts nothing until the refresh.
    s.backend->DeviceCount();
    NameOf(*s.backend, 2);
    for (TestBackend *part : s.parts)
        EXPECT_TRUE(part->Calls().empty());

    s.backend->RefreshDevices();
    ASSERT_EQ(s.backend->DeviceCount(), 5u);
    EXPECT_EQ(NameOf(*s.backend, 3), "D");
    EXPECT_EQ(NameOf(*s.backend, 4), "C");
}

TEST(SystemBackend, ComponentSelectsEveryDeviceOfTheSnapshotWhilePortsVanish)
{
    auto owned = std::make_unique<System>(std::vector<std::vector<std::string>>{{"Synth"}, {"A", "B", "C"}});
    TestBackend &ports = *owned->parts[1];
    TMidiOutput out(std::move(owned->backend));
    ASSERT_EQ(out.DeviceCount(), 4);
    // Start-up selects each device in turn to list its name; the ports go
    // meanwhile, which must not cut the list short.
    ports.devices.clear();
    std::vector<std::string> names;
    for (std::int32_t i = out.DeviceCount() - 1; i >= 0; --i) {
        out.SetDeviceID(i);
        names.push_back(out.ProductName());
    }
    EXPECT_EQ(names, (std::vector<std::string>{"C", "B", "A", "Synth"}));
}

TEST(SystemBackend, EqualNamesOfDifferentPartsAreMadeDistinct)
{
    System s({{"Synth"}, {"Port", "Port #2"}, {"Port"}});
    ASSERT_EQ(s.backend->DeviceCount(), 4u);
    EXPECT_EQ(NameOf(*s.backend, 1), "Port");
    EXPECT_EQ(NameOf(*s.backend, 2), "Port #2");
    EXPECT_EQ(NameOf(*s.backend, 3), "Port #3");

    auto owned = std::make_unique<System>(std::vector<std::vector<std::string>>{{"Synth"}, {"Port"}, {"Port"}});
    TMidiOutput out(std::move(owned->backend));
    out.SetProductName("Port #2");
    EXPECT_EQ(out.DeviceID(), 2);
}

TEST(SystemBackend, NoticesReachTheCallerWithItsHandleAndInstance)
{
    System s({{"Synth"}});
    NoticeLog log;
    DeviceHandle handle = 0;
    ASSERT_EQ(s.backend->Open(&handle, 0, &NoticeLog::Callback, log.instance(), CALLBACK_FUNCTION), MIDIERR_NOERROR);
    const DeviceHandle partHandle = s.parts[0]->CallsOf(Op::Open)[0].handle;
    ASSERT_NE(partHandle, handle) << "the test needs the two handles to differ";

    ASSERT_EQ(log.notices.size(), 1u);
    EXPECT_EQ(log.notices[0].device, handle);
    EXPECT_EQ(log.notices[0].message, MOM_OPEN);
    EXPECT_EQ(log.notices[0].instance, log.instance());

    // A later notice of the part, say a finished long message.
    s.parts[0]->lastCallback(partHandle, MOM_DONE, s.parts[0]->lastInstance, 0xABC, 0);
    ASSERT_EQ(log.notices.size(), 2u);
    EXPECT_EQ(log.notices[1].device, handle);
    EXPECT_EQ(log.notices[1].message, MOM_DONE);
    EXPECT_EQ(log.notices[1].instance, log.instance());
    EXPECT_EQ(log.notices[1].param1, 0xABCu);
}

TEST(SystemBackend, SendsWithoutADeviceReportWhyTheLastOpenFailed)
{
    System s({{"Synth"}});
    TestBackend &synth = *s.parts[0];
    synth.failures[Op::Open] = MIDIERR_NOSOUNDFONT;
    DeviceHandle handle = 0;
    EXPECT_EQ(s.backend->Open(&handle, 0, nullptr, 0, CALLBACK_FUNCTION), MIDIERR_NOSOUNDFONT);
    EXPECT_EQ(s.backend->ShortMessage(0, 0x643C90), MIDIERR_NOSOUNDFONT);
    EXPECT_EQ(s.backend->ShortMessage(12345, 0x643C90), MIDIERR_NOSOUNDFONT);
    EXPECT_EQ(s.backend->Open(&handle, 7, nullptr, 0, CALLBACK_FUNCTION), MIDIERR_BADDEVICEID);
    EXPECT_EQ(s.backend->ShortMessage(0, 0x643C90), MIDIERR_BADDEVICEID);

    synth.failures.clear();
    ASSERT_EQ(s.backend->Open(&handle, 0, nullptr, 0, CALLBACK_FUNCTION), MIDIERR_NOERROR);
    ASSERT_EQ(s.backend->Close(handle), MIDIERR_NOERROR);
    EXPECT_EQ(s.backend->ShortMessage(0, 0x643C90), MIDIERR_INVALHANDLE);
}

TEST(SystemBackend, DeviceThatRefusesToCloseStaysOpen)
{
    System s({{"Synth"}});
    DeviceHandle handle = 0;
    ASSERT_EQ(s.backend->Open(&handle, 0, nullptr, 0, CALLBACK_FUNCTION), MIDIERR_NOERROR);
    s.parts[0]->failures[Op::Close] = MIDIERR_UNSPECIFIED;
    EXPECT_EQ(s.backend->Close(handle), MIDIERR_UNSPECIFIED);
    EXPECT_EQ(s.backend->ShortMessage(handle, 0x90), MIDIERR_NOERROR);
    s.parts[0]->failures.clear();
    EXPECT_EQ(s.backend->Close(handle), MIDIERR_NOERROR);
}

TEST(ShortMessageFramer, LengthFollowsTheStatusByte)
{
    for (int status = 0x80; status <= 0xEF; ++status) {
        const int expected = (status >= 0xC0 && status <= 0xDF) ? 2 : 3;
        EXPECT_EQ(ShortMessageFramer::LengthOf(static_cast<std::uint8_t>(status)), expected) << status;
    }
    EXPECT_EQ(ShortMessageFramer::LengthOf(0xF1), 2);
    EXPECT_EQ(ShortMessageFramer::LengthOf(0xF2), 3);
    EXPECT_EQ(ShortMessageFramer::LengthOf(0xF3), 2);
    EXPECT_EQ(ShortMessageFramer::LengthOf(0xF6), 1);
    for (int status = 0xF8; status <= 0xFF; ++status)
        EXPECT_EQ(ShortMessageFramer::LengthOf(static_cast<std::uint8_t>(status)), 1) << status;
    for (std::uint8_t status : {0x00, 0x7F, 0xF0, 0xF4, 0xF5, 0xF7})
        EXPECT_EQ(ShortMessageFramer::LengthOf(status), 0) << int(status);
}

TEST(ShortMessageFramer, KeepsRunningStatusLikeADriver)
{
    ShortMessageFramer framer;
    std::uint8_t bytes[3];
    EXPECT_EQ(framer.Frame(Pack(0x3C, 0x40), bytes), 0) << "no running status yet";

    ASSERT_EQ(framer.Frame(Pack(0x92, 0x3C, 0xFF), bytes), 3);
    EXPECT_EQ((Bytes{bytes, bytes + 3}), (Bytes{0x92, 0x3C, 0xFF})) << "data bytes pass unchanged";
    ASSERT_EQ(framer.Frame(Pack(0x3E, 0x50), bytes), 3);
    EXPECT_EQ((Bytes{bytes, bytes + 3}), (Bytes{0x92, 0x3E, 0x50}));

    ASSERT_EQ(framer.Frame(Pack(0xF8), bytes), 1); // real time keeps it
    ASSERT_EQ(framer.Frame(Pack(0x40, 0x00), bytes), 3);
    EXPECT_EQ(bytes[0], 0x92);

    ASSERT_EQ(framer.Frame(Pack(0xC5, 0x10), bytes), 2);
    ASSERT_EQ(framer.Frame(Pack(0x11, 0x77), bytes), 2);
    EXPECT_EQ((Bytes{bytes, bytes + 2}), (Bytes{0xC5, 0x11}));

    EXPECT_EQ(framer.Frame(Pack(0xF0, 0x7E), bytes), 0);
    ASSERT_EQ(framer.Frame(Pack(0x12), bytes), 2) << "a refused message changes nothing";

    ASSERT_EQ(framer.Frame(Pack(0xF3, 0x01), bytes), 2); // system common ends it
    EXPECT_EQ(framer.Frame(Pack(0x40, 0x00), bytes), 0);
}

TEST(DeviceNames, LongNamesAreCutKeepingTheirEnd)
{
    const std::string fits(31, 'x');
    EXPECT_EQ(ShortenDeviceName(fits), fits);

    const std::string a = ShortenDeviceName("Some Very Long Client Name:Synth input port 128:0");
    const std::string b = ShortenDeviceName("Some Very Long Client Name:Synth input port 128:1");
    EXPECT_EQ(a.size(), 31u);
    EXPECT_TRUE(a.starts_with("Some Very Long"));
    EXPECT_TRUE(a.ends_with("128:0"));
    EXPECT_NE(a, b);
}

namespace {

// True when `text` is well-formed UTF-8.
bool IsWholeUtf8(const std::string &text)
{
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = lead < 0x80 ? 1 : (lead >> 5) == 6 ? 2 : (lead >> 4) == 14 ? 3 : (lead >> 3) == 30 ? 4 : 0;
        if (length == 0 || i + length > text.size())
            return false;
        for (std::size_t k = 1; k < length; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80)
                return false;
        }
        i += length;
    }
    return true;
}

} // namespace

TEST(DeviceNames, CutsFallBetweenUtf8Characters)
{
    // Two-, three- and four-byte characters placed across every cut position.
    const std::string characters[] = {"\u00e4", "\u20ac", "\U0001F3B9"};
    for (const std::string &character : characters) {
        for (std::size_t offset = 0; offset < 4; ++offset) {
            std::string name = std::string(offset, 'x');
            while (name.size() < 48)
                name += character;
            const std::string shortened = ShortenDeviceName(name);
            EXPECT_LE(shortened.size(), MaxDeviceNameLength);
            EXPECT_TRUE(IsWholeUtf8(shortened)) << shortened;
            EXPECT_NE(shortened.find('~'), std::string::npos);

            std::vector<std::string> names = {shortened, shortened};
            MakeDeviceNamesUnique(names);
            EXPECT_TRUE(names[1].ends_with(" #2"));
            EXPECT_LE(names[1].size(), MaxDeviceNameLength);
            EXPECT_TRUE(IsWholeUtf8(names[1])) << names[1];
        }
    }
}

TEST(DeviceNames, DuplicatesGetNumbersAndStayWithinTheRecord)
{
    const std::string longName(31, 'n');
    std::vector<std::string> names = {"Port", "Port", "Port #2", "Port", longName, longName};
    MakeDeviceNamesUnique(names);
    EXPECT_EQ(names[0], "Port");
    EXPECT_EQ(names[1], "Port #3");
    EXPECT_EQ(names[2], "Port #2");
    EXPECT_EQ(names[3], "Port #4");
    EXPECT_EQ(names[4], longName);
    EXPECT_EQ(names[5], std::string(28, 'n') + " #2");
}

TEST(DeviceNames, OwnClientsAreRecognised)
{
    EXPECT_TRUE(IsOwnPort("MIDI Sonoret:out 130:0"));
    EXPECT_TRUE(IsOwnPort("MIDI Sonoret-01:out"));
    EXPECT_FALSE(IsOwnPort("MIDI Sonoret Player:out"));
    EXPECT_FALSE(IsOwnPort("MIDI Sonoret-x:out"));
    EXPECT_FALSE(IsOwnPort("system:MIDI Sonoret"));
    EXPECT_FALSE(IsOwnPort("Midi Through:Midi Through Port-0 14:0"));
}

TEST(DeviceNames, CapabilityRecordIsCopiedOnlyAsFarAsTheCallerAsks)
{
    const MidiOutCaps caps = MakeCaps("Device", MOD_MIDIPORT, 0, 0, PackDriverVersion("5.0.0"));
    EXPECT_EQ(caps.vDriverVersion, 0x0500u);
    EXPECT_EQ(caps.wChannelMask, 0xFFFF);
    MidiOutCaps target;
    target.wTechnology = 0x7777;
    ASSERT_EQ(CopyCaps(caps, &target, 40), MIDIERR_NOERROR);
    EXPECT_STREQ(target.szPname, "Device");
    EXPECT_EQ(target.wTechnology, 0x7777) << "beyond the 40 bytes asked for";
    EXPECT_NE(CopyCaps(caps, nullptr, sizeof caps), MIDIERR_NOERROR);
    EXPECT_EQ(PackDriverVersion(2, 3), 0x0203u);
    EXPECT_EQ(PackDriverVersion("12.34.5"), 0x0C22u);
    EXPECT_EQ(PackDriverVersion("unknown"), 0u);
}

// Without a JACK server the system back end must count at once, quietly, with
// the synthesizer still device 0. Run in a child process whose JACK server
// name leads nowhere; the child checks, the parent watches its time and output.
namespace {
constexpr const char *ChildVariable = "SONORET_TEST_NO_JACK_CHILD";
}

TEST(SystemBackendWithoutJack, CountsAtOnceAndPrintsNothing)
{
    if (std::getenv(ChildVariable) != nullptr) {
        const auto start = std::chrono::steady_clock::now();
        auto backend = CreateSystemBackend();
        const std::uint32_t count = backend->DeviceCount();
        EXPECT_GE(count, 1u);
        EXPECT_EQ(NameOf(*backend, 0), "FluidSynth (built-in)");
        EXPECT_EQ(static_cast<SystemBackend &>(*backend).Part(2).DeviceCount(), 0u) << "JACK ports without a server";
        EXPECT_EQ(backend->DeviceCount(), count);
        EXPECT_LT(std::chrono::steady_clock::now() - start, testing_support::kHangBound);

        // The synthesizer tries the desktop's audio outputs in turn, quietly;
        // on a machine without any it fails with its own code.
        DeviceHandle handle = 0;
        const MidiResult opened = backend->Open(&handle, 0, nullptr, 0, CALLBACK_FUNCTION);
        EXPECT_TRUE(opened == MIDIERR_NOERROR || opened == MIDIERR_NOAUDIO) << opened;
        if (opened == MIDIERR_NOERROR) {
            EXPECT_EQ(backend->Close(handle), MIDIERR_NOERROR);
        }
        return;
    }

    QTemporaryDir runtime;
    ASSERT_TRUE(runtime.isValid());
    std::vector<std::string> environment;
    for (char **entry = environ; *entry != nullptr; ++entry) {
        const std::string_view text(*entry);
        if (!text.starts_with("JACK_DEFAULT_SERVER=") && !text.starts_with("XDG_RUNTIME_DIR="))
            environment.emplace_back(text);
    }
    environment.push_back(std::string(ChildVariable) + "=1");
    environment.push_back("JACK_DEFAULT_SERVER=sonoret-nonexistent-" + std::to_string(getpid()));
    environment.push_back("XDG_RUNTIME_DIR=" + runtime.path().toStdString()); // keeps Qt quiet
    std::vector<char *> envp;
    for (auto &entry : environment)
        envp.push_back(entry.data());
    envp.push_back(nullptr);
    std::string filter = "--gtest_filter=SystemBackendWithoutJack.CountsAtOnceAndPrintsNothing";
    std::string self = "/proc/self/exe";
    char *argv[] = {self.data(), filter.data(), nullptr};

    int out[2], err[2];
    ASSERT_EQ(pipe(out), 0);
    ASSERT_EQ(pipe(err), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    posix_spawn_file_actions_addclose(&actions, err[0]);
    pid_t child = 0;
    const int spawned = posix_spawn(&child, "/proc/self/exe", &actions, nullptr, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    close(err[1]);
    ASSERT_EQ(spawned, 0);

    std::string output, errors;
    const auto deadline = std::chrono::steady_clock::now() + testing_support::kHangBound;
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    int open = 2;
    while (open > 0 && std::chrono::steady_clock::now() < deadline) {
        if (poll(fds, 2, 100) <= 0)
            continue;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].revents == 0)
                continue;
            char buffer[4096];
            const ssize_t got = read(fds[i].fd, buffer, sizeof buffer);
            if (got <= 0) {
                fds[i].fd = -1;
                --open;
            } else {
                (i == 0 ? output : errors).append(buffer, static_cast<std::size_t>(got));
            }
        }
    }
    if (open > 0)
        kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    close(out[0]);
    close(err[0]);

    ASSERT_EQ(open, 0) << "the child hung:\n" << output;
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << output;
    EXPECT_NE(output.find("[  PASSED  ] 1 test"), std::string::npos) << output;
    EXPECT_EQ(errors, "") << "printed on the terminal";
}
