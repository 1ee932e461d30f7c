#include "common/AtomicFileWriter.h"
#include "common/FileErrors.h"
#include "recorder/TestFiles.h"
#include "support/OrdinaryUser.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <string>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using common::AtomicFileWriter;
using testfiles::TempDir;

namespace {

std::string ReadText(const std::string &fileName)
{
    const auto bytes = testfiles::ReadBytes(fileName);
    return {bytes.begin(), bytes.end()};
}

void WriteFile(const std::string &fileName, const std::string &text)
{
    AtomicFileWriter file(fileName);
    file.Write(text.data(), text.size());
    file.Commit();
}

// The message of the refusal to write fileName; empty when it was written.
std::string RefusalOf(const std::string &fileName, const std::string &text)
{
    try {
        WriteFile(fileName, text);
    } catch (const common::EFCreateError &error) {
        return error.what();
    }
    return {};
}

std::string CannotCreate(const std::string &fileName)
{
    return "Datei " + fileName + " kann nicht erstellt werden";
}

ino_t InodeOf(const std::string &fileName)
{
    struct stat info {};
    EXPECT_EQ(::stat(fileName.c_str(), &info), 0) << fileName;
    return info.st_ino;
}

class AtomicFileWriterTest : public ::testing::Test {
protected:
    void SetUp() override { testsupport::GiveToOrdinaryUser(dir.Path()); }

    TempDir dir;
};

} // namespace

TEST_F(AtomicFileWriterTest, AReadOnlyFileIsRefusedAndKept)
{
    const std::string target = dir.File("take.vsq");
    testsupport::RunAsOrdinaryUser([&] {
        testfiles::WriteText(target, "old");
        ::chmod(target.c_str(), 0444);
        EXPECT_EQ(RefusalOf(target, "new"), CannotCreate(target));
        EXPECT_EQ(ReadText(target), "old");
        EXPECT_EQ(fs::status(target).permissions() & fs::perms::all,
                  fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
        EXPECT_EQ(dir.Entries(), std::vector<std::string>{"take.vsq"});
    });
}

TEST_F(AtomicFileWriterTest, AFolderThatTakesNoNewFiles)
{
    const std::string target = dir.File("take.mid");
    testsupport::RunAsOrdinaryUser([&] {
        testfiles::WriteText(target, "the old and longer content");
        const ino_t inode = InodeOf(target);
        ::chmod(dir.Path().c_str(), 0555);

        // A writable file there is written in place, only once all is ready.
        {
            AtomicFileWriter file(target);
            file.Write("abandoned", 9);
        }
        EXPECT_EQ(ReadText(target), "the old and longer content");
        WriteFile(target, "new");
        EXPECT_EQ(ReadText(target), "new");
        EXPECT_EQ(InodeOf(target), inode);

        // A new file cannot be made there.
        EXPECT_EQ(RefusalOf(dir.File("other.mid"), "x"), CannotCreate(dir.File("other.mid")));
        EXPECT_EQ(dir.Entries(), std::vector<std::string>{"take.mid"});
        ::chmod(dir.Path().c_str(), 0700);
    });
}

TEST_F(AtomicFileWriterTest, ADanglingLinkIsWrittenThroughToItsTarget)
{
    fs::create_directory(dir.Path() / "real");
    fs::create_symlink("real/take.vsq", dir.Path() / "middle.vsq");
    fs::create_symlink("middle.vsq", dir.Path() / "take.vsq");

    WriteFile(dir.File("take.vsq"), "content");
    EXPECT_TRUE(fs::is_symlink(dir.Path() / "take.vsq"));
    EXPECT_TRUE(fs::is_symlink(dir.Path() / "middle.vsq"));
    EXPECT_EQ(ReadText(dir.File("real/take.vsq")), "content");
    EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"middle.vsq", "real", "take.vsq"}));

    // Written again, through the links to the file that now exists.
    WriteFile(dir.File("take.vsq"), "again");
    EXPECT_EQ(ReadText(dir.File("real/take.vsq")), "again");
    EXPECT_TRUE(fs::is_symlink(dir.Path() / "take.vsq"));
}

TEST_F(AtomicFileWriterTest, ALoopOfLinksIsRefused)
{
    fs::create_symlink("b.vsq", dir.Path() / "a.vsq");
    fs::create_symlink("a.vsq", dir.Path() / "b.vsq");
    EXPECT_EQ(RefusalOf(dir.File("a.vsq"), "x"), CannotCreate(dir.File("a.vsq")));
    EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"a.vsq", "b.vsq"}));
}

TEST_F(AtomicFileWriterTest, AFileWithTwoNamesStaysOneFile)
{
    const std::string first = dir.File("take.vsq");
    const std::string second = dir.File("backup.vsq");
    testfiles::WriteText(first, "old");
    fs::create_hard_link(first, second);

    WriteFile(first, "new content");
    EXPECT_EQ(ReadText(second), "new content");
    EXPECT_EQ(InodeOf(first), InodeOf(second));
    EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"backup.vsq", "take.vsq"}));
}

TEST_F(AtomicFileWriterTest, SeekingBackPatchesTheFileInEveryWay)
{
    // A fresh file, a replaced one, and one written in place.
    testfiles::WriteText(dir.File("replaced"), "0123456789");
    testfiles::WriteText(dir.File("linked"), "0123456789");
    fs::create_hard_link(dir.File("linked"), dir.File("linked2"));
    for (const char *name : {"fresh", "replaced", "linked"}) {
        AtomicFileWriter file(dir.File(name));
        file.Write("abcdef", 6);
        file.SeekTo(2);
        file.Write("XY", 2);
        EXPECT_EQ(file.Size(), 6u);
        file.Commit();
        EXPECT_EQ(ReadText(dir.File(name)), "abXYef") << name;
    }
}

TEST_F(AtomicFileWriterTest, AReplacedFileKeepsItsOwnerForTheSuperuser)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "only the superuser can write a file that stays someone else's";
    const std::string target = dir.File("take.vsq");
    testfiles::WriteText(target, "old");
    ASSERT_EQ(::chown(target.c_str(), testsupport::kNobody, testsupport::kNogroup), 0);
    WriteFile(target, "new");
    struct stat info {};
    ASSERT_EQ(::stat(target.c_str(), &info), 0);
    EXPECT_EQ(info.st_uid, testsupport::kNobody);
    EXPECT_EQ(info.st_gid, testsupport::kNogroup);
}

// A process stopped by a signal while writing leaves no unfinished file and
// the old content; a signal it was started with ignored changes nothing.
TEST_F(AtomicFileWriterTest, StopSignalsRemoveTheUnfinishedFile)
{
    const std::string target = dir.File("take.vsq");
    for (const int signalNumber : {SIGINT, SIGTERM, SIGHUP}) {
        for (const bool ignored : {false, true}) {
            testfiles::WriteText(target, "old");
            const pid_t child = ::fork();
            ASSERT_GE(child, 0);
            if (child == 0) {
                if (ignored)
                    ::signal(signalNumber, SIG_IGN);
                AtomicFileWriter::RemoveUnfinishedFilesOnStopSignals();
                AtomicFileWriter file(target);
                file.Write("new", 3);
                ::raise(signalNumber);
                file.Commit();
                ::_exit(0);
            }
            int status = 0;
            ASSERT_EQ(::waitpid(child, &status, 0), child);
            if (ignored) {
                EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << signalNumber;
                EXPECT_EQ(ReadText(target), "new") << signalNumber;
            } else {
                EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signalNumber) << signalNumber;
                EXPECT_EQ(ReadText(target), "old") << signalNumber;
            }
            EXPECT_EQ(dir.Entries(), std::vector<std::string>{"take.vsq"}) << signalNumber;
        }
    }
}
