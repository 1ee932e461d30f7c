// Native files that are not what a recording file should be: unreadable,
// enormous, or no regular file at all (a folder, a pipe without a writer, a
// device without end). The enormous one is taken as it is; each of the others
// is refused at once with the open command's own message, and the recording
// in memory stays as it was.

#include "common/FileErrors.h"
#include "files/MidiImport.h"
#include "files/RecordingFiles.h"
#include "recorder/RecordingStream.h"
#include "support/TestFiles.h"
#include "support/HangBound.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class HostileFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        stream.WriteEvent({0, 0xC0, 5, 0});
        stream.WriteEvent({3, 0x90, 60, 100});
        before = stream.Bytes();
    }

    std::string Path(const char *name) const { return folder.filePath(name).toStdString(); }

    // Opens `path` as the open command does, on a thread of its own so that
    // an open that hangs fails the test instead of the run; `unblock` ends
    // such a hang (the watchdog only limits the damage, it decides nothing).
    std::string OpenError(const std::string &path, const std::function<void()> &unblock = {})
    {
        auto result = std::async(std::launch::async, [&] {
            try {
                files::OpenRecording(path, stream);
            } catch (const common::EStreamError &error) {
                return std::string(error.what());
            }
            return std::string("opened");
        });
        if (result.wait_for(testing_support::kHangBound) != std::future_status::ready) {
            ADD_FAILURE() << "opening " << path << " hangs";
            if (unblock)
                unblock();
        }
        return result.get();
    }

    std::string CannotOpen(const std::string &path) const
    {
        return "Datei " + path + " kann nicht geöffnet werden";
    }

    QTemporaryDir folder;
    recorder::RecordingStream stream;
    std::vector<std::uint8_t> before;
};

TEST_F(HostileFile, AFileThatCannotBeReadIsAReadError)
{
    // Even root cannot read this regular file: its first bytes lie at an
    // address that is not mapped.
    const std::string path = Path("unlesbar.vsq");
    std::filesystem::create_symlink("/proc/self/mem", path);
    EXPECT_EQ(OpenError(path), "Stream-Lesefehler");
    EXPECT_EQ(stream.Bytes(), before);
}

TEST_F(HostileFile, AFileWithoutReadPermissionCannotBeOpened)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "root reads any file";
    const std::string path = Path("gesperrt.vsq");
    std::ofstream(path) << "1234567";
    std::filesystem::permissions(path, std::filesystem::perms::none);
    EXPECT_EQ(OpenError(path), CannotOpen(path));
    EXPECT_EQ(stream.Bytes(), before);
}

TEST_F(HostileFile, ALargeFileIsTakenWhole)
{
    // Many read steps, a size that is no multiple of a record.
    const std::string path = Path("riesig.vsq");
    constexpr std::size_t size = (std::size_t{64} << 20) + 3;
    testfiles::WriteLargeRecording(path, size);
    files::OpenRecording(path, stream);
    ASSERT_EQ(stream.Size(), size);
    EXPECT_EQ(stream.Position(), 0u);
    EXPECT_EQ(stream.Bytes()[size - 3], 0xB0);
    stream.Clear();
}

TEST_F(HostileFile, AGigabyteThatIsNoRecordingIsReadAndRefused)
{
    // Sparse: no disk space taken, and every byte reads as 0, no status byte.
    const std::string path = Path("riesig.vsq");
    std::ofstream(path).close();
    std::filesystem::resize_file(path, std::uintmax_t{1} << 30);
    // Read on this thread: a slow machine is no hang.
    EXPECT_THROW(files::OpenRecording(path, stream), common::EInvalidRecording);
    EXPECT_EQ(stream.Bytes(), before);
    // The same bytes as a song file.
    const std::string song = Path("riesig.mid");
    std::filesystem::rename(path, song);
    EXPECT_THROW(files::OpenRecording(song, stream), files::EInvalidMidiFile);
    EXPECT_EQ(stream.Bytes(), before);
}

TEST_F(HostileFile, AFolderCannotBeOpened)
{
    const std::string path = Path("ordner.vsq");
    std::filesystem::create_directory(path);
    EXPECT_EQ(OpenError(path), CannotOpen(path));
    EXPECT_EQ(stream.Bytes(), before);
}

TEST_F(HostileFile, APipeWithoutWriterDoesNotHangTheOpen)
{
    for (const char *name : {"rohr.vsq", "rohr.mid"}) {
        const std::string path = Path(name);
        ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
        const auto unblock = [path] {
            const int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK);
            if (fd >= 0)
                ::close(fd);
        };
        EXPECT_EQ(OpenError(path, unblock), CannotOpen(path));
        EXPECT_EQ(stream.Bytes(), before);
    }
}

TEST_F(HostileFile, ADeviceWithoutEndIsRefused)
{
    // Read to its end, /dev/zero would take all memory.
    const std::string path = Path("null.vsq");
    std::filesystem::create_symlink("/dev/zero", path);
    EXPECT_EQ(OpenError(path), CannotOpen(path));
    EXPECT_EQ(stream.Bytes(), before);
}

TEST_F(HostileFile, SoundTextsGetTheSameProtection)
{
    const std::string device = Path("null.vnx");
    std::filesystem::create_symlink("/dev/zero", device);
    EXPECT_EQ(OpenError(device), CannotOpen(device));
    const std::string pipe = Path("rohr.vnx");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    EXPECT_EQ(OpenError(pipe), CannotOpen(pipe));
    EXPECT_EQ(stream.Bytes(), before);
}

} // namespace
