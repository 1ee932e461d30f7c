#include "recorder/RecordingStream.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

using recorder::RecordedEvent;
using recorder::RecordingStream;
using recorder::SeekOrigin;
using testfiles::ReadBytes;
using testfiles::TempDir;

namespace {

std::vector<std::uint8_t> ReadAll(RecordingStream &stream)
{
    stream.Seek(0, SeekOrigin::Begin);
    std::vector<std::uint8_t> bytes(stream.Size());
    EXPECT_EQ(stream.Read(bytes.data(), bytes.size()), bytes.size());
    return bytes;
}

RecordingStream StreamOf(const std::vector<std::uint8_t> &bytes)
{
    RecordingStream stream;
    stream.Write(bytes.data(), bytes.size());
    return stream;
}

} // namespace

TEST(RecordingStream, WriteGrowsAndReadReturnsWhatIsThere)
{
    RecordingStream stream;
    const std::uint8_t data[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    stream.Write(data, sizeof data);
    EXPECT_EQ(stream.Size(), 10u);
    EXPECT_EQ(stream.Position(), 10u);

    EXPECT_EQ(stream.Seek(2, SeekOrigin::Begin), 2u);
    std::uint8_t buffer[16] = {};
    EXPECT_EQ(stream.Read(buffer, 5), 5u);
    EXPECT_EQ(std::vector<std::uint8_t>(buffer, buffer + 5), (std::vector<std::uint8_t>{3, 4, 5, 6, 7}));
    EXPECT_EQ(stream.Position(), 7u);

    // Only three bytes are left: the count says so.
    EXPECT_EQ(stream.Read(buffer, 16), 3u);
    EXPECT_EQ(buffer[0], 8);
    EXPECT_EQ(stream.Read(buffer, 16), 0u);
}

TEST(RecordingStream, SeeksAbsoluteRelativeAndFromTheEnd)
{
    RecordingStream stream = StreamOf({10, 11, 12, 13, 14, 15});
    EXPECT_EQ(stream.Seek(-4, SeekOrigin::Current), 2u);
    EXPECT_EQ(stream.Seek(1, SeekOrigin::Current), 3u);
    std::uint8_t byte = 0;
    ASSERT_EQ(stream.Read(&byte, 1), 1u);
    EXPECT_EQ(byte, 13);
    EXPECT_EQ(stream.Seek(-1, SeekOrigin::End), 5u);
    ASSERT_EQ(stream.Read(&byte, 1), 1u);
    EXPECT_EQ(byte, 15);
    EXPECT_THROW(stream.Seek(-7, SeekOrigin::End), common::EStreamError);
    EXPECT_EQ(stream.Position(), 6u) << "a refused seek keeps the position";
}

TEST(RecordingStream, OverwritesInPlaceAndFillsAGapWithZeros)
{
    RecordingStream stream = StreamOf({1, 2, 3, 4});
    stream.Seek(1, SeekOrigin::Begin);
    const std::uint8_t patch[] = {9, 9};
    stream.Write(patch, 2);
    EXPECT_EQ(stream.Size(), 4u);
    stream.Seek(6, SeekOrigin::Begin);
    stream.Write(patch, 1);
    EXPECT_EQ(ReadAll(stream), (std::vector<std::uint8_t>{1, 9, 9, 4, 0, 0, 9}));
}

TEST(RecordingStream, ClearEmptiesAndRewinds)
{
    RecordingStream stream = StreamOf({1, 2, 3});
    stream.Clear();
    EXPECT_EQ(stream.Size(), 0u);
    EXPECT_EQ(stream.Position(), 0u);
    std::uint8_t byte = 0;
    EXPECT_EQ(stream.Read(&byte, 1), 0u);
}

TEST(RecordedEvent, IsSevenLittleEndianBytes)
{
    const RecordedEvent event{0x12345678u, 0x90, 0x3C, 0x64};
    const auto bytes = event.ToBytes();
    EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin(), bytes.end()),
              (std::vector<std::uint8_t>{0x78, 0x56, 0x34, 0x12, 0x90, 0x3C, 0x64}));
    EXPECT_EQ(RecordedEvent::FromBytes(bytes), event);

    RecordingStream stream;
    stream.WriteEvent(event);
    stream.WriteEvent({0xFFFFFFFFu, 0xC0, 5, 0});
    EXPECT_EQ(stream.Size(), 14u);
    stream.Seek(0, SeekOrigin::Begin);
    EXPECT_EQ(stream.ReadEvent(), event);
    const auto last = stream.ReadEvent();
    ASSERT_TRUE(last.has_value());
    EXPECT_EQ(last->tick, 0xFFFFFFFFu);
    EXPECT_EQ(last->SignedTick(), -1) << "playback compares ticks as signed values";
    EXPECT_FALSE(stream.ReadEvent().has_value());
}

TEST(RecordedEvent, ReadingStopsAtAPartialLastRecord)
{
    for (std::size_t extra = 1; extra < RecordedEvent::kSize; ++extra) {
        RecordingStream stream;
        stream.WriteEvent({3, 0x80, 60, 0});
        const std::vector<std::uint8_t> tail(extra, 0x55);
        stream.Write(tail.data(), tail.size());
        stream.Seek(0, SeekOrigin::Begin);
        ASSERT_TRUE(stream.ReadEvent().has_value());
        EXPECT_FALSE(stream.ReadEvent().has_value()) << extra << " trailing bytes";
    }
}

TEST(RecordingStreamFile, SaveAndLoadGiveTheSameBytesWhateverThePosition)
{
    TempDir dir;
    RecordingStream stream;
    stream.WriteEvent({0, 0xC0, 5, 0});
    stream.WriteEvent({20, 0x90, 60, 100});
    const std::uint8_t partial[] = {1, 2, 3};
    stream.Write(partial, sizeof partial);
    stream.Seek(5, SeekOrigin::Begin);
    stream.SaveToFile(dir.File("take.vsq"));

    const auto saved = ReadBytes(dir.File("take.vsq"));
    EXPECT_EQ(saved, stream.Bytes());

    RecordingStream loaded = StreamOf({42});
    loaded.LoadFromFile(dir.File("take.vsq"));
    EXPECT_EQ(loaded.Bytes(), stream.Bytes());
    EXPECT_EQ(loaded.Position(), 0u);
}

TEST(RecordingStreamFile, EmptyRecordingIsAnEmptyFile)
{
    TempDir dir;
    RecordingStream empty;
    empty.SaveToFile(dir.File("empty.vsq"));
    EXPECT_TRUE(ReadBytes(dir.File("empty.vsq")).empty());

    RecordingStream stream = StreamOf({1, 2, 3});
    stream.LoadFromFile(dir.File("empty.vsq"));
    EXPECT_EQ(stream.Size(), 0u);
}

TEST(RecordingStreamFile, FailedLoadKeepsTheRecording)
{
    TempDir dir;
    RecordingStream stream = StreamOf({1, 2, 3});
    const std::string missing = dir.File("missing.vsq");
    try {
        stream.LoadFromFile(missing);
        FAIL() << "no error";
    } catch (const common::EFOpenError &error) {
        EXPECT_EQ(std::string(error.what()), "Datei " + missing + " kann nicht geöffnet werden");
    }
    EXPECT_THROW(stream.LoadFromFile(dir.Path().string()), common::EFOpenError);
    EXPECT_EQ(stream.Bytes(), (std::vector<std::uint8_t>{1, 2, 3}));
}

TEST(RecordingStreamFile, OnlyRecordingsAreLoaded)
{
    struct Case {
        const char *name;
        std::vector<std::uint8_t> bytes;
        bool valid;
    };
    const Case cases[] = {
        {"notes, a program change with its unused byte, a partial end",
         {0, 0, 0, 0, 0x90, 60, 100, 0, 0, 0, 0, 0xC0, 5, 0xFF, 2, 0, 0, 0, 0x80, 60, 0, 2, 0}, true},
        {"ticks past the signed range", {0xFF, 0xFF, 0xFF, 0x7F, 0x90, 1, 1, 0, 0, 0, 0x80, 0x80, 1, 0}, true},
        {"a Standard MIDI File", {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0, 10}, false},
        {"a data byte as status", {0, 0, 0, 0, 0x3C, 60, 100}, false},
        {"a system message", {0, 0, 0, 0, 0xF0, 1, 2}, false},
        {"a status byte as data", {0, 0, 0, 0, 0x90, 0x90, 100}, false},
        {"a status byte as velocity", {0, 0, 0, 0, 0x90, 60, 0x80}, false},
        {"time going back", {5, 0, 0, 0, 0x90, 60, 100, 4, 0, 0, 0, 0x80, 60, 0}, false},
    };
    TempDir dir;
    const std::string name = dir.File("take.vsq");
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        testfiles::WriteBytes(name, c.bytes);
        RecordingStream stream = StreamOf({0, 0, 0, 0, 0x90, 1, 1});
        const auto before = stream.Bytes();
        if (c.valid) {
            stream.LoadFromFile(name);
            EXPECT_EQ(stream.Bytes(), c.bytes);
            continue;
        }
        try {
            stream.LoadFromFile(name);
            ADD_FAILURE() << "loaded";
        } catch (const common::EInvalidRecording &error) {
            EXPECT_EQ(std::string(error.what()), "Datei " + name + " ist keine gültige Aufnahme.");
        }
        EXPECT_EQ(stream.Bytes(), before);
    }
}

TEST(RecordingStreamFile, UncreatableFileRaisesTheCreateError)
{
    TempDir dir;
    const RecordingStream stream = StreamOf({1});
    const std::string inMissingFolder = dir.File("no/such/folder.vsq");
    try {
        stream.SaveToFile(inMissingFolder);
        FAIL() << "no error";
    } catch (const common::EFCreateError &error) {
        EXPECT_EQ(std::string(error.what()),
                  "Datei " + inMissingFolder + " kann nicht erstellt werden");
    }
    // A folder of that name is not replaced by the file.
    std::filesystem::create_directory(dir.File("folder.vsq"));
    EXPECT_THROW(stream.SaveToFile(dir.File("folder.vsq")), common::EFCreateError);
    EXPECT_TRUE(std::filesystem::is_directory(dir.File("folder.vsq")));
}

TEST(RecordingStreamFile, FailedWriteLeavesTheExistingFileAsItWas)
{
    TempDir dir;
    const std::string target = dir.File("take.vsq");
    testfiles::WriteText(target, "old recording");

    RecordingStream big;
    const std::vector<std::uint8_t> bytes(200000, 0x90);
    big.Write(bytes.data(), bytes.size());
    {
        testfiles::FileSizeLimit limit(100000);
        try {
            big.SaveToFile(target);
            FAIL() << "no error";
        } catch (const common::EWriteError &error) {
            EXPECT_STREQ(error.what(), "Stream-Schreibfehler");
        }
    }
    const auto kept = ReadBytes(target);
    EXPECT_EQ(std::string(kept.begin(), kept.end()), "old recording");
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"take.vsq"}) << "no temporary file is left";
}

TEST(RecordingStreamFile, WriteErrorOfADeviceIsReported)
{
    if (!std::filesystem::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full";
    const RecordingStream stream = StreamOf({1, 2, 3, 4, 5, 6, 7});
    EXPECT_THROW(stream.SaveToFile("/dev/full"), common::EWriteError);
    EXPECT_TRUE(std::filesystem::is_character_file("/dev/full"));
}

TEST(RecordingStreamFile, ReplacingKeepsPermissionsAndFollowsLinks)
{
    TempDir dir;
    const std::string target = dir.File("take.vsq");
    testfiles::WriteText(target, "old");
    ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
    std::filesystem::create_symlink(target, dir.File("link.vsq"));

    const RecordingStream stream = StreamOf({7, 7, 7});
    stream.SaveToFile(dir.File("link.vsq"));

    EXPECT_TRUE(std::filesystem::is_symlink(dir.File("link.vsq")));
    EXPECT_EQ(ReadBytes(target), (std::vector<std::uint8_t>{7, 7, 7}));
    struct stat info {};
    ASSERT_EQ(::stat(target.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
}
