// Standard MIDI Files opened as recordings: formats, divisions, the tempo
// map, running status, what is left out, hostile files, and the way back
// from the program's own export.

#include "files/MidiExport.h"
#include "files/MidiImport.h"
#include "files/RecordingFiles.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace {

using Bytes = std::vector<std::uint8_t>;
using recorder::RecordedEvent;

Bytes Chunk(const char *id, const Bytes &data, std::uint32_t length)
{
    Bytes chunk(id, id + 4);
    for (int shift = 24; shift >= 0; shift -= 8)
        chunk.push_back(std::uint8_t(length >> shift));
    chunk.insert(chunk.end(), data.begin(), data.end());
    return chunk;
}

// A file of `tracks` (their event bytes, End of Track added unless `open`).
Bytes Smf(int format, std::uint16_t division, const std::vector<Bytes> &tracks, bool open = false)
{
    Bytes file = Chunk("MThd", {0, std::uint8_t(format), 0, std::uint8_t(tracks.size()), std::uint8_t(division >> 8),
                                std::uint8_t(division)}, 6);
    for (Bytes track : tracks) {
        if (!open)
            track.insert(track.end(), {0x00, 0xFF, 0x2F, 0x00});
        const Bytes chunk = Chunk("MTrk", track, std::uint32_t(track.size()));
        file.insert(file.end(), chunk.begin(), chunk.end());
    }
    return file;
}

using testfiles::Records;

const Bytes kTempo250k = {0x00, 0xFF, 0x51, 0x03, 0x03, 0xD0, 0x90}; // 250000 µs per quarter at delta 0

TEST(MidiImport, ChannelMessagesComeAtTheirTimeIn50MsTicks)
{
    const struct {
        const char *name;
        Bytes file;
        Bytes records;
        std::size_t systemExclusive;
    } cases[] = {
        {"division 96, default tempo: 96 ticks are 500 ms",
         Smf(0, 96, {{0x00, 0x90, 60, 100, 0x60, 0x80, 60, 0, 0x18, 0xC1, 5}}),
         Records({{0, 0x90, 60, 100}, {10, 0x80, 60, 0}, {13, 0xC1, 5, 0}}), 0},
        {"rounded to nearest: 24 ms, 25 ms and 26 ms",
         Smf(0, 1000, {{0x00, 0xFF, 0x51, 0x03, 0x0F, 0x42, 0x40, // 1 ms per tick
                        0x18, 0x90, 1, 1, 0x01, 0x90, 2, 2, 0x01, 0x90, 3, 3}}),
         Records({{0, 0x90, 1, 1}, {1, 0x90, 2, 2}, {1, 0x90, 3, 3}}), 0},
        {"running status, Note On with velocity 0 kept as written",
         Smf(0, 10, {{0x00, 0x90, 60, 100, 0x01, 62, 90, 0x01, 60, 0}}),
         Records({{0, 0x90, 60, 100}, {1, 0x90, 62, 90}, {2, 0x90, 60, 0}}), 0},
        {"a tempo change halfway: the rest runs twice as fast",
         Smf(0, 96, {{0x60, 0xFF, 0x51, 0x03, 0x03, 0xD0, 0x90, 0x60, 0x90, 60, 1}}),
         Records({{15, 0x90, 60, 1}}), 0},
        {"format 1: the first track's tempo map, tracks merged, ties in file order",
         Smf(1, 96, {kTempo250k, {0x00, 0x90, 60, 1, 0x60, 0x80, 60, 0}, {0x00, 0x91, 64, 2, 0x60, 0x81, 64, 0}}),
         Records({{0, 0x90, 60, 1}, {0, 0x91, 64, 2}, {5, 0x80, 60, 0}, {5, 0x81, 64, 0}}), 0},
        {"SMPTE 25 frames of 40 ticks: a tick a millisecond, tempo ignored",
         Smf(0, 0xE728, {{0x00, 0xFF, 0x51, 0x03, 0x03, 0xD0, 0x90, 0x87, 0x68, 0xB0, 7, 90}}),
         Records({{20, 0xB0, 7, 90}}), 0},
        {"SMPTE 29.97 frames of 100 ticks",
         Smf(0, 0xE364, {{0xC6, 0x1F, 0x90, 60, 1}}), // 8991 ticks: 3 x 29.97 x 100, 3 s
         Records({{60, 0x90, 60, 1}}), 0},
        {"System Exclusive and meta events left out, and counted",
         Smf(0, 10, {{0x00, 0xF0, 0x03, 0x7D, 0x01, 0xF7, 0x00, 0xFF, 0x01, 0x02, 'h', 'i', 0x00, 0xF0, 0x01, 0xF7,
                      0x05, 0x90, 60, 1}}),
         Records({{5, 0x90, 60, 1}}), 2},
        {"a track without End of Track", Smf(0, 10, {{0x00, 0x90, 60, 1}}, true), Records({{0, 0x90, 60, 1}}), 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        files::MidiImportNotes notes;
        EXPECT_EQ(files::MidiFileRecords(c.file, "song.mid", notes), c.records);
        EXPECT_EQ(notes.systemExclusive, c.systemExclusive);
        EXPECT_FALSE(notes.truncated);
    }
}

TEST(MidiImport, HostileFilesAreRefusedNamingTheFile)
{
    Bytes fiveByteDelta = Smf(0, 10, {{0x81, 0x81, 0x81, 0x81, 0x01, 0x90, 60, 1}});
    const struct {
        const char *name;
        Bytes file;
    } invalid[] = {
        {"no header", {'M', 'T', 'r', 'k', 0, 0, 0, 0}},
        {"a header chunk longer than the file", Chunk("MThd", {0, 0, 0, 1, 0, 10}, 600)},
        {"division 0", Smf(0, 0, {{0x00, 0x90, 60, 1}})},
        {"SMPTE with 0 ticks per frame", Smf(0, 0xE700, {{0x00, 0x90, 60, 1}})},
        {"no track at all", Smf(0, 10, {})},
        {"tempo 0 µs", Smf(0, 10, {{0x00, 0xFF, 0x51, 0x03, 0, 0, 0}})},
        {"data before any status", Smf(0, 10, {{0x00, 60, 1}})},
        {"a data byte of 0x80 or more", Smf(0, 10, {{0x00, 0x90, 0x80, 1}})},
        {"a system common message", Smf(0, 10, {{0x00, 0xF2, 1, 1}})},
        {"a delta of five bytes", fiveByteDelta},
        {"an event cut off inside its chunk", Smf(0, 10, {{0x00, 0x90, 60}}, true)},
        {"a meta event longer than its track", Smf(0, 10, {{0x00, 0xFF, 0x01, 0x7F, 'x'}}, true)},
        {"longer than a recording can be",
         Smf(0, 1, {{0x00, 0xFF, 0x51, 0x03, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 0x90, 60, 1}})},
    };
    for (const auto &c : invalid) {
        SCOPED_TRACE(c.name);
        files::MidiImportNotes notes;
        try {
            files::MidiFileRecords(c.file, "bad.mid", notes);
            ADD_FAILURE() << "not refused";
        } catch (const files::EInvalidMidiFile &refused) {
            EXPECT_STREQ(refused.what(), "Datei bad.mid ist keine gültige MIDI-Datei.");
        }
    }
    files::MidiImportNotes notes;
    EXPECT_THROW(files::MidiFileRecords(Smf(2, 10, {{0x00, 0x90, 60, 1}}), "two.mid", notes), files::EMidiFormat2);

    // A last track cut short by the file's end is read up to there, and said.
    Bytes cut = Smf(0, 10, {{0x00, 0x90, 60, 1, 0x05, 0x80, 60, 0, 0x05, 0x90}}, true);
    cut[21] = 0x40; // the track's length goes beyond the file
    EXPECT_EQ(files::MidiFileRecords(cut, "cut.mid", notes), Records({{0, 0x90, 60, 1}, {5, 0x80, 60, 0}}));
    EXPECT_TRUE(notes.truncated);
    EXPECT_EQ(notes.Texts("cut.mid"),
              std::vector<std::string>{"Datei cut.mid endet mitten in einer Spur; gelesen wurde bis dorthin."});
}

TEST(MidiImport, AnExportedRecordingComesBackByteForByte)
{
    std::mt19937 random(20261208);
    for (int round = 0; round < 200; ++round) {
        recorder::RecordingStream take;
        std::uint32_t tick = 0;
        const int count = int(random() % 300);
        for (int i = 0; i < count; ++i) {
            tick += random() % 4 == 0 ? std::uint32_t(random() % 100000) : std::uint32_t(random() % 3);
            const std::uint8_t status = std::uint8_t(0x80 + random() % 0x70);
            const bool oneByte = (status & 0xE0) == 0xC0;
            take.WriteEvent({tick, status, std::uint8_t(random() % 128), oneByte ? std::uint8_t(0) : std::uint8_t(random() % 128)});
        }
        // The export places records of tick 0 at time 1, behind its prelude.
        Bytes expected = take.Bytes();
        for (std::size_t at = 0; at < expected.size(); at += RecordedEvent::kSize)
            if (std::all_of(expected.begin() + std::ptrdiff_t(at), expected.begin() + std::ptrdiff_t(at) + 4,
                            [](std::uint8_t byte) { return byte == 0; }))
                expected[at] = 1;
        files::MidiImportNotes notes;
        ASSERT_EQ(files::MidiFileRecords(files::MidiFileBytes(take), "take.mid", notes), expected)
            << "round " << round;
    }
}

TEST(MidiImport, TheExportsSilentPairIsLeftOutAtEitherTime)
{
    const Bytes tempo = {0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20};
    const auto track = [&](std::uint8_t noteOffDelta) {
        Bytes events = tempo;
        events.insert(events.end(), {0x00, 0x90, 0, 0, noteOffDelta, 0x80, 0, 0, 0x00, 0xC0, 5, 0x04, 0x90, 60, 1});
        return events;
    };
    const struct {
        const char *name;
        Bytes file;
        Bytes records;
    } cases[] = {
        {"this version's, Note Off at time 1", Smf(0, 10, {track(1)}), Records({{1, 0xC0, 5, 0}, {5, 0x90, 60, 1}})},
        {"1.0.0's, Note Off at time 0", Smf(0, 10, {track(0)}), Records({{0, 0xC0, 5, 0}, {4, 0x90, 60, 1}})},
        {"a pair at another time is music", Smf(0, 10, {track(2)}),
         Records({{0, 0x90, 0, 0}, {2, 0x80, 0, 0}, {2, 0xC0, 5, 0}, {6, 0x90, 60, 1}})},
        {"another division is another program's", Smf(0, 96, {track(1)}),
         Records({{0, 0x90, 0, 0}, {0, 0x80, 0, 0}, {0, 0xC0, 5, 0}, {1, 0x90, 60, 1}})}, // 5 of 96: 26 ms
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        files::MidiImportNotes notes;
        EXPECT_EQ(files::MidiFileRecords(c.file, "song.mid", notes), c.records);
    }
}

TEST(MidiImport, OpenReplacesTheRecordingOnlyWhenTheFileIsRead)
{
    testfiles::TempDir dir;
    recorder::RecordingStream stream;
    stream.WriteEvent({3, 0x90, 1, 1});
    const Bytes before = stream.Bytes();
    testfiles::WriteBytes(dir.File("bad.MIDI"), {'M', 'T', 'h', 'd'});
    EXPECT_THROW(files::OpenRecording(dir.File("bad.MIDI"), stream), files::EInvalidMidiFile);
    EXPECT_EQ(stream.Bytes(), before);
    testfiles::WriteBytes(dir.File("song.smf"), Smf(0, 10, {{0x00, 0xF0, 0x01, 0xF7, 0x02, 0x90, 60, 1}}));
    EXPECT_EQ(files::OpenRecording(dir.File("song.smf"), stream),
              std::vector<std::string>{"1 System-Exclusive-Meldung wurde übergangen."});
    EXPECT_EQ(stream.Bytes(), Records({{2, 0x90, 60, 1}}));
}

// The resets most files begin with are left out unsaid, whatever their
// device number; any other System Exclusive message is counted.
TEST(MidiImport, StandardResetsAreLeftOutUnsaid)
{
    const struct {
        const char *name;
        Bytes message; // after F0
        std::size_t counted;
    } cases[] = {
        {"GM System On", {0x7E, 0x7F, 0x09, 0x01, 0xF7}, 0},
        {"GM System Off, device 3", {0x7E, 0x03, 0x09, 0x02, 0xF7}, 0},
        {"GM2 System On", {0x7E, 0x7F, 0x09, 0x03, 0xF7}, 0},
        {"GS reset", {0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7}, 0},
        {"GS reset, device 1F", {0x41, 0x1F, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7}, 0},
        {"XG System On", {0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7}, 0},
        {"XG System On, device 20 is no XG device", {0x43, 0x20, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7}, 1},
        {"GM System On without its end", {0x7E, 0x7F, 0x09, 0x01}, 1},
        {"GM System On with a byte more", {0x7E, 0x7F, 0x09, 0x01, 0x00, 0xF7}, 1},
        {"a GS parameter other than the reset", {0x41, 0x10, 0x42, 0x12, 0x40, 0x01, 0x30, 0x00, 0x0F, 0xF7}, 1},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Bytes track = {0x00, 0xF0, std::uint8_t(c.message.size())};
        track.insert(track.end(), c.message.begin(), c.message.end());
        track.insert(track.end(), {0x00, 0x90, 60, 1});
        files::MidiImportNotes notes;
        EXPECT_EQ(files::MidiFileRecords(Smf(0, 10, {track}), "song.mid", notes), Records({{0, 0x90, 60, 1}}));
        EXPECT_EQ(notes.systemExclusive, c.counted);
    }
    files::MidiImportNotes many;
    many.systemExclusive = 3;
    EXPECT_EQ(many.Texts("song.mid"), std::vector<std::string>{"3 System-Exclusive-Meldungen wurden übergangen."});
    EXPECT_TRUE(files::MidiImportNotes().Texts("song.mid").empty());
}

} // namespace
