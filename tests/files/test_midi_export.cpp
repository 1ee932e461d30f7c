#include "files/MidiExport.h"
#include "files/RecordingFiles.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>

using Bytes = std::vector<std::uint8_t>;
using recorder::RecordedEvent;
using recorder::RecordingStream;
using testfiles::ReadBytes;
using testfiles::TempDir;

namespace {

const Bytes kHeaderAndPreludeWithoutLength = {
    'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0, 10, 'M', 'T', 'r', 'k'};
// The silent pair's Note Off at time 1 (1.0.0 put it at 0).
const Bytes kPreludeEvents = {0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20, 0x00, 0x90, 0x00, 0x00,
                              0x01, 0x80, 0x00, 0x00};
const Bytes kEndOfTrack = {0x00, 0xFF, 0x2F, 0x00};

// The whole expected file around the given event bytes.
Bytes MidiFileWith(const Bytes &events)
{
    Bytes file = kHeaderAndPreludeWithoutLength;
    const std::uint32_t length =
        static_cast<std::uint32_t>(kPreludeEvents.size() + events.size() + kEndOfTrack.size());
    for (int shift = 24; shift >= 0; shift -= 8)
        file.push_back(static_cast<std::uint8_t>(length >> shift));
    file.insert(file.end(), kPreludeEvents.begin(), kPreludeEvents.end());
    file.insert(file.end(), events.begin(), events.end());
    file.insert(file.end(), kEndOfTrack.begin(), kEndOfTrack.end());
    return file;
}

RecordingStream RecordingOf(std::initializer_list<RecordedEvent> events)
{
    RecordingStream stream;
    for (const auto &event : events)
        stream.WriteEvent(event);
    return stream;
}

class MidiExportTest : public ::testing::Test {
protected:
    Bytes Export(RecordingStream &stream)
    {
        const std::string name = dir.File("export" + std::to_string(++count) + ".mid");
        files::ExportMidiFile(name, stream);
        return ReadBytes(name);
    }

    TempDir dir;
    int count = 0;
};

} // namespace

TEST_F(MidiExportTest, EmptyRecordingGivesTheFortyOneByteFile)
{
    RecordingStream empty;
    const Bytes expected = {'M', 'T', 'h', 'd', 0x00, 0x00, 0x00, 0x06, 0x00, 0x00, 0x00,
                            0x01, 0x00, 0x0A, 'M', 'T', 'r', 'k', 0x00, 0x00, 0x00, 0x13,
                            0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20, 0x00, 0x90, 0x00, 0x00,
                            0x01, 0x80, 0x00, 0x00, 0x00, 0xFF, 0x2F, 0x00};
    EXPECT_EQ(Export(empty), expected);
}

TEST_F(MidiExportTest, ProgramChangeAndOneNote)
{
    // Tick 0 lies at time 1, behind the prelude; later ticks at their own time.
    RecordingStream stream = RecordingOf({{0, 0xC0, 5, 0}, {20, 0x90, 60, 100}, {30, 0x80, 60, 0}});
    EXPECT_EQ(Export(stream),
              MidiFileWith({0x00, 0xC0, 0x05, 0x13, 0x90, 0x3C, 0x64, 0x0A, 0x80, 0x3C, 0x00}));
}

TEST_F(MidiExportTest, DeltasAreVariableLengthQuantitiesUpToFourBytes)
{
    // The previous tick starts at 1, where the prelude ends.
    std::uint32_t tick = 1;
    RecordingStream stream;
    Bytes expected;
    const auto add = [&](std::uint32_t delta, const Bytes &deltaBytes) {
        tick += delta;
        stream.WriteEvent({tick, 0x90, 60, 1});
        expected.insert(expected.end(), deltaBytes.begin(), deltaBytes.end());
        expected.insert(expected.end(), {0x90, 60, 1});
    };
    add(0, {0x00});
    add(127, {0x7F});
    add(128, {0x81, 0x00});
    add(200, {0x81, 0x48});
    add(16383, {0xFF, 0x7F});
    add(16384, {0x81, 0x80, 0x00});
    add(0x1FFFFF, {0xFF, 0xFF, 0x7F});
    add(0x200000, {0x81, 0x80, 0x80, 0x00});
    add(0x0FFFFFFF, {0xFF, 0xFF, 0xFF, 0x7F});
    // Beyond four bytes the delta is held at the largest four-byte value.
    add(0x10000000, {0xFF, 0xFF, 0xFF, 0x7F});
    stream.WriteEvent({0xFFFFFFFFu, 0x80, 60, 0});
    expected.insert(expected.end(), {0xFF, 0xFF, 0xFF, 0x7F, 0x80, 60, 0});
    EXPECT_EQ(Export(stream), MidiFileWith(expected));
}

TEST_F(MidiExportTest, OneDataByteOnlyForProgramChangeAndChannelPressure)
{
    RecordingStream stream = RecordingOf({{1, 0xD3, 40, 99},
                                          {1, 0xC9, 7, 99},
                                          {1, 0xB0, 7, 100},
                                          {1, 0xE0, 0, 64},
                                          {1, 0xA0, 60, 10},
                                          {1, 0x99, 36, 127}});
    EXPECT_EQ(Export(stream), MidiFileWith({0x00, 0xD3, 40,       // Channel Pressure
                                            0x00, 0xC9, 7,        // Program Change
                                            0x00, 0xB0, 7, 100,   // Control Change
                                            0x00, 0xE0, 0, 64,    // Pitch Bend
                                            0x00, 0xA0, 60, 10,   // Poly Pressure
                                            0x00, 0x99, 36, 127})); // drum Note On
}

TEST_F(MidiExportTest, PartialLastRecordIsLeftOut)
{
    RecordingStream whole = RecordingOf({{0, 0x90, 60, 100}, {4, 0x80, 60, 0}});
    const Bytes expected = Export(whole);
    for (std::size_t extra = 1; extra < RecordedEvent::kSize; ++extra) {
        RecordingStream partial = RecordingOf({{0, 0x90, 60, 100}, {4, 0x80, 60, 0}});
        const Bytes tail(extra, 0x7E);
        partial.Write(tail.data(), tail.size());
        EXPECT_EQ(Export(partial), expected) << extra << " trailing bytes";
    }
}

TEST_F(MidiExportTest, TicksAtZeroAndGoingBackGetDeltaZero)
{
    RecordingStream stream = RecordingOf({{0, 0xC0, 1, 0},
                                          {0, 0x90, 60, 90},
                                          {1, 0x90, 62, 90},
                                          {10, 0x90, 64, 90},
                                          {5, 0x80, 60, 0},
                                          {10, 0x80, 64, 0},
                                          {12, 0x90, 67, 90}});
    EXPECT_EQ(Export(stream), MidiFileWith({0x00, 0xC0, 1,
                                            0x00, 0x90, 60, 90,
                                            0x00, 0x90, 62, 90,
                                            0x09, 0x90, 64, 90,
                                            0x00, 0x80, 60, 0,
                                            0x00, 0x80, 64, 0,
                                            0x02, 0x90, 67, 90}));
}

TEST_F(MidiExportTest, ExportIsRepeatableAndLeavesTheRecordingAlone)
{
    RecordingStream stream = RecordingOf({{0, 0xC0, 5, 0}, {3, 0x90, 62, 80}, {9, 0x80, 62, 0}});
    const Bytes before = stream.Bytes();
    const Bytes first = Export(stream);
    const Bytes second = Export(stream);
    EXPECT_EQ(first, second);
    EXPECT_EQ(stream.Bytes(), before);
    stream.SaveToFile(dir.File("after.vsq"));
    EXPECT_EQ(ReadBytes(dir.File("after.vsq")), before);
}

TEST_F(MidiExportTest, UncreatableFileNamesIt)
{
    RecordingStream stream = RecordingOf({{0, 0x90, 60, 1}});
    const std::string name = dir.File("missing/song.mid");
    try {
        files::ExportMidiFile(name, stream);
        FAIL() << "no error";
    } catch (const common::EFCreateError &error) {
        EXPECT_EQ(std::string(error.what()), "Datei " + name + " kann nicht erstellt werden");
    }
}

TEST_F(MidiExportTest, FailedWriteLeavesTheExistingFileAsItWas)
{
    const std::string target = dir.File("song.mid");
    testfiles::WriteText(target, "previous song");
    RecordingStream big;
    for (std::uint32_t i = 0; i < 50000; ++i)
        big.WriteEvent({i, 0x90, 60, 100});
    {
        testfiles::FileSizeLimit limit(65536 + 1000);
        EXPECT_THROW(files::ExportMidiFile(target, big), common::EWriteError);
    }
    const Bytes kept = ReadBytes(target);
    EXPECT_EQ(std::string(kept.begin(), kept.end()), "previous song");
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"song.mid"});
}

namespace {

// Reads a MIDI file with python3-mido and lists each message with its
// absolute time: "type channel a b time" per line.
constexpr const char *kMidoReader = R"(import sys, mido
f = mido.MidiFile(sys.argv[1])
print("format", f.type, "tracks", len(f.tracks), "division", f.ticks_per_beat)
t = 0
for m in f.tracks[0]:
    t += m.time
    if m.is_meta:
        print(m.type, getattr(m, "tempo", "-"), t)
    elif m.type == "program_change":
        print(m.type, m.channel, m.program, t)
    elif m.type == "aftertouch":
        print(m.type, m.channel, m.value, t)
    elif m.type == "control_change":
        print(m.type, m.channel, m.control, m.value, t)
    else:
        print(m.type, m.channel, m.note, m.velocity, t)
print("length", round(f.length, 3))
)";

std::string RunMido(const TempDir &dir, const std::string &midiFile)
{
    const std::string script = dir.File("read_midi.py");
    testfiles::WriteText(script, kMidoReader);
    const std::string command = "/usr/bin/python3 " + script + " " + midiFile + " 2>&1";
    std::FILE *pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr)
        return "popen failed";
    std::string output;
    char buffer[4096];
    while (const std::size_t got = std::fread(buffer, 1, sizeof buffer, pipe))
        output.append(buffer, got);
    const int status = ::pclose(pipe);
    if (status != 0)
        output += "exit status " + std::to_string(status);
    return output;
}

} // namespace

TEST_F(MidiExportTest, AnIndependentReaderAcceptsTheFile)
{
    if (!std::filesystem::exists("/usr/bin/python3"))
        GTEST_SKIP() << "/usr/bin/python3 missing";
    RecordingStream stream = RecordingOf({{0, 0xC0, 5, 0},
                                          {0, 0x90, 60, 100},
                                          {8, 0x99, 36, 127},
                                          {8, 0x89, 36, 0},
                                          {20, 0x80, 60, 0},
                                          {20, 0xD0, 33, 0},
                                          {300, 0xB0, 7, 90},
                                          {17000, 0x90, 72, 64},
                                          {17000, 0x80, 72, 64}});
    const std::string name = dir.File("song.mid");
    files::ExportMidiFile(name, stream);
    EXPECT_EQ(RunMido(dir, name),
              "format 0 tracks 1 division 10\n"
              "set_tempo 500000 0\n"
              "note_on 0 0 0 0\n"
              "note_off 0 0 0 1\n"
              "program_change 0 5 1\n"
              "note_on 0 60 100 1\n"
              "note_on 9 36 127 8\n"
              "note_off 9 36 0 8\n"
              "note_off 0 60 0 20\n"
              "aftertouch 0 33 20\n"
              "control_change 0 7 90 300\n"
              "note_on 0 72 64 17000\n"
              "note_off 0 72 64 17000\n"
              "end_of_track - 17000\n"
              "length 850.0\n"); // 17000 ticks of 50 ms
}

TEST_F(MidiExportTest, AnIndependentReaderAcceptsAShortenedHugeGap)
{
    if (!std::filesystem::exists("/usr/bin/python3"))
        GTEST_SKIP() << "/usr/bin/python3 missing";
    RecordingStream stream = RecordingOf({{0x20000000, 0x90, 60, 1}, {0xFFFFFFFFu, 0x80, 60, 0}});
    const std::string name = dir.File("gap.mid");
    files::ExportMidiFile(name, stream);
    // Each gap is held at 0x0FFFFFFF.
    EXPECT_EQ(RunMido(dir, name),
              "format 0 tracks 1 division 10\n"
              "set_tempo 500000 0\n"
              "note_on 0 0 0 0\n"
              "note_off 0 0 0 1\n"
              "note_on 0 60 1 268435456\n"
              "note_off 0 60 0 536870911\n"
              "end_of_track - 536870911\n"
              "length 26843545.55\n");
}
