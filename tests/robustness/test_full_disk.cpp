// A disk that fills up while the program writes: the native save, the MIDI
// export and the settings file each report the failure with their own
// message, leave the file that was there as it was, and leave no temporary
// file behind.

#include "TinyDisk.h"

#include "common/SettingsFile.h"
#include "common/FileErrors.h"
#include "files/RecordingFiles.h"
#include "recorder/RecordingStream.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

using testing_support::TinyDisk;

using testing_support::Contents;

void Put(const std::string &path, const std::string &text)
{
    std::ofstream(path, std::ios::binary) << text;
}

// A recording larger than what is left on a full disk's last page.
recorder::RecordingStream LongRecording()
{
    recorder::RecordingStream stream;
    for (std::uint32_t tick = 0; tick < 4000; ++tick)
        stream.WriteEvent({tick, 0x90, static_cast<std::uint8_t>(36 + tick % 40), 100});
    return stream;
}

class FullDisk : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!disk.Mounted())
            GTEST_SKIP() << "mounting a small tmpfs needs root";
    }
    TinyDisk disk;
};

TEST_F(FullDisk, NativeSaveKeepsTheOldFileAndLeavesNoTemporaryFile)
{
    const std::string path = disk.File("aufnahme.vsq");
    Put(path, "old recording");
    disk.Fill();
    auto stream = LongRecording();
    try {
        files::SaveRecording(path, stream);
        FAIL() << "the save reported success on a full disk";
    } catch (const common::EStreamError &error) {
        // Either the data or the new file's entry found no room.
        const std::string text = error.what();
        EXPECT_TRUE(text == "Stream-Schreibfehler"
                    || text == "Datei " + path + " kann nicht erstellt werden")
            << text;
    }
    EXPECT_EQ(Contents(path), "old recording");
    EXPECT_EQ(disk.Names(), (std::vector<std::string>{"aufnahme.vsq", "filler"}));
}

TEST_F(FullDisk, MidiExportKeepsTheOldFileAndLeavesNoTemporaryFile)
{
    const std::string path = disk.File("lied.mid");
    Put(path, "old export");
    disk.Fill();
    auto stream = LongRecording();
    EXPECT_THROW(files::SaveRecording(path, stream), common::EStreamError);
    EXPECT_EQ(Contents(path), "old export");
    EXPECT_EQ(disk.Names(), (std::vector<std::string>{"filler", "lied.mid"}));
}

TEST_F(FullDisk, SettingsWriteIsRefusedWithItsMessageAndTheFileStays)
{
    const std::string path = disk.File("midi-sonoret.ini");
    // Large enough that its rewrite needs more than one page.
    std::string text = "[Common]\nBeat=120\n[Keys]\n";
    for (int code = 1; code < 600; ++code)
        text += std::to_string(code) + "=" + std::to_string(code % 42 + 1) + "\n";
    Put(path, text);
    disk.Fill();
    common::SettingsFile settings(path);
    try {
        settings.WriteInteger("Common", "Beat", 90);
        FAIL() << "the write reported success on a full disk";
    } catch (const common::EIniFileException &error) {
        EXPECT_EQ(std::string(error.what()), "In " + path + " kann nicht geschrieben werden");
    }
    EXPECT_EQ(Contents(path), text);
    EXPECT_EQ(settings.ReadInteger("Common", "Beat", 0), 120);
    EXPECT_EQ(disk.Names(), (std::vector<std::string>{"filler", "midi-sonoret.ini"}));
}

TEST_F(FullDisk, RoomMadeAgainLetsTheSameSaveSucceed)
{
    const std::string path = disk.File("aufnahme.vsq");
    disk.Fill();
    auto stream = LongRecording();
    EXPECT_THROW(files::SaveRecording(path, stream), common::EStreamError);
    std::filesystem::remove(disk.File("filler"));
    files::SaveRecording(path, stream);
    EXPECT_EQ(Contents(path), std::string(stream.Bytes().begin(), stream.Bytes().end()));
}

// A device that is always full, reached through a link with the right
// extension: written directly (it cannot be replaced), and the failure is
// reported, not taken for success.
TEST(DeviceFull, WritesToADeviceThatIsFullAreReported)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const std::string native = folder.filePath("voll.vsq").toStdString();
    const std::string midi = folder.filePath("voll.mid").toStdString();
    for (const auto &link : {native, midi})
        std::filesystem::create_symlink("/dev/full", link);

    auto stream = LongRecording();
    EXPECT_THROW(files::SaveRecording(native, stream), common::EWriteError);
    EXPECT_THROW(files::SaveRecording(midi, stream), common::EWriteError);
    // The links are still links to the device.
    for (const auto &link : {native, midi})
        EXPECT_TRUE(std::filesystem::is_symlink(link));
}

// A settings file that is a link to the full device: refused with the
// settings file's message, neither read without end nor replaced.
TEST(DeviceFull, ASettingsFileOnAFullDeviceIsRefused)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const std::string ini = folder.filePath("voll.ini").toStdString();
    std::filesystem::create_symlink("/dev/full", ini);
    common::SettingsFile settings(ini);
    EXPECT_EQ(settings.ReadInteger("Common", "Beat", 120), 120);
    try {
        settings.WriteBool("Common", "Drums", true);
        FAIL() << "a write to /dev/full reported success";
    } catch (const common::EIniFileException &error) {
        EXPECT_EQ(std::string(error.what()), "In " + ini + " kann nicht geschrieben werden");
    }
    EXPECT_TRUE(std::filesystem::is_symlink(ini));
}

} // namespace
