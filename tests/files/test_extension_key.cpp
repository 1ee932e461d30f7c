#include "files/RecordingFiles.h"
#include "files/MidiImport.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

using files::ExtensionKey;
using recorder::RecordingStream;
using testfiles::ReadBytes;
using testfiles::TempDir;

TEST(ExtensionKey, IsUpperCasedAndCutToFourCharacters)
{
    EXPECT_EQ(ExtensionKey("take.vsq"), ".VSQ");
    EXPECT_EQ(ExtensionKey("take.VSQ"), ".VSQ");
    EXPECT_EQ(ExtensionKey("take.Vsq"), ".VSQ");
    EXPECT_EQ(ExtensionKey("song.midi"), ".MID");
    EXPECT_EQ(ExtensionKey("take.vsqx"), ".VSQ");
    EXPECT_EQ(ExtensionKey("tones.vnxt"), ".VNX");
    EXPECT_EQ(ExtensionKey("photo.jpeg"), ".JPE");
    EXPECT_EQ(ExtensionKey("a.b.mid"), ".MID") << "the last dot counts";
    EXPECT_EQ(ExtensionKey("short.vs"), ".VS");
    EXPECT_EQ(ExtensionKey("trailing."), ".");
    EXPECT_EQ(ExtensionKey("x.m1d"), ".M1D");
    EXPECT_EQ(ExtensionKey("x.ä"), ".ä") << "only ASCII letters change";
    EXPECT_EQ(ExtensionKey("x.äöüß"), ".äöü") << "cut by characters, not inside one";
}

TEST(ExtensionKey, DotMustFollowEveryFolderSeparator)
{
    EXPECT_EQ(ExtensionKey("noextension"), "");
    EXPECT_EQ(ExtensionKey("/home/user/my.songs/take"), "");
    EXPECT_EQ(ExtensionKey("C:\\Musik.alt\\take"), "");
    EXPECT_EQ(ExtensionKey("C:\\Musik\\take.vsq"), ".VSQ");
    EXPECT_EQ(ExtensionKey("a.vsq:stream"), "");
    EXPECT_EQ(ExtensionKey("d:take.vnx"), ".VNX");
    EXPECT_EQ(ExtensionKey("/tmp/.hidden"), ".HID");
}

class RecordingFilesTest : public ::testing::Test {
protected:
    RecordingFilesTest()
    {
        recording.WriteEvent({0, 0xC0, 5, 0});
        recording.WriteEvent({20, 0x90, 60, 100});
    }

    // The refusal of a key, or an empty string when nothing was refused.
    std::string SaveRefusal(const std::string &name)
    {
        try {
            files::SaveRecording(name, recording);
        } catch (const files::EUnsupportedFormat &refusal) {
            EXPECT_EQ(std::string(refusal.what()),
                      "Das Dateiformat " + refusal.Key() + " wird nicht unterstützt.");
            return refusal.Key();
        }
        return {};
    }

    std::string OpenRefusal(const std::string &name)
    {
        try {
            files::OpenRecording(name, recording);
        } catch (const files::EUnsupportedFormat &refusal) {
            return refusal.Key();
        }
        return {};
    }

    TempDir dir;
    RecordingStream recording;
};

TEST_F(RecordingFilesTest, SaveChoosesTheFormatByKeyIgnoringCase)
{
    for (const char *name : {"a.vsq", "b.VSQ", "c.Vsq", "d.vsqx"}) {
        EXPECT_EQ(SaveRefusal(dir.File(name)), "");
        EXPECT_EQ(ReadBytes(dir.File(name)), recording.Bytes()) << name;
    }
    for (const char *name : {"e.mid", "f.MIDI"}) {
        EXPECT_EQ(SaveRefusal(dir.File(name)), "");
        const auto bytes = ReadBytes(dir.File(name));
        ASSERT_GE(bytes.size(), 4u);
        EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "MThd") << name;
    }
}

TEST_F(RecordingFilesTest, OpenChoosesTheFormatByKey)
{
    testfiles::WriteBytes(dir.File("take.VsQx"), {9, 0, 0, 0, 0x80, 60, 0});
    EXPECT_EQ(OpenRefusal(dir.File("take.VsQx")), "");
    EXPECT_EQ(recording.Bytes(), (std::vector<std::uint8_t>{9, 0, 0, 0, 0x80, 60, 0}));

    testfiles::WriteText(dir.File("tones.vnxt"), "440\n500\n65535\n");
    EXPECT_EQ(OpenRefusal(dir.File("tones.vnxt")), "");
    EXPECT_EQ(recording.Size(), 14u);
}

TEST_F(RecordingFilesTest, RefusalCarriesTheKeyAndTouchesNothing)
{
    const auto before = recording.Bytes();
    testfiles::WriteText(dir.File("song.mid"), "MThd");
    EXPECT_THROW(OpenRefusal(dir.File("song.mid")), files::EInvalidMidiFile) << "not refused by its key";
    EXPECT_EQ(SaveRefusal(dir.File("tones.vnx")), ".VNX") << "there is no sound text export";
    EXPECT_EQ(SaveRefusal(dir.File("photo.jpeg")), ".JPE");
    EXPECT_EQ(OpenRefusal(dir.File("take.vs")), ".VS");
    EXPECT_EQ(recording.Bytes(), before);
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"song.mid"}) << "a refused save writes nothing";
}

TEST_F(RecordingFilesTest, EmptyKeyLeavesTwoBlanksInTheMessage)
{
    std::filesystem::create_directory(dir.File("my.songs"));
    try {
        files::SaveRecording(dir.File("my.songs/take"), recording);
        FAIL() << "no refusal";
    } catch (const files::EUnsupportedFormat &refusal) {
        EXPECT_EQ(refusal.Key(), "");
        EXPECT_STREQ(refusal.what(), "Das Dateiformat  wird nicht unterstützt.");
    }
}
