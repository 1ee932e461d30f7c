#include "common/AtomicFileWriter.h"
#include "common/FileErrors.h"
#include "support/TestFiles.h"
#include "support/OrdinaryUser.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <ctime>
#include <filesystem>
#include <string>

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
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

namespace {

const std::string kOld = "old content";
const std::string kNew = std::string(300000, 'n') + "end";

AtomicFileWriter::Step cutAt;

// Saves in a child process that ends at `step` of the commit, as a kill
// arriving there would end it.
void SaveCutShort(const std::string &target, AtomicFileWriter::Step step)
{
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        cutAt = step;
        AtomicFileWriter::SetStepHook([](AtomicFileWriter::Step reached) {
            if (reached == cutAt)
                ::_exit(0);
        });
        ::_exit(RefusalOf(target, kNew).empty() ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

// The contents of the files that saves left in a folder tree, by kind.
std::vector<std::string> LeftIn(const fs::path &folder, const std::string &kind)
{
    std::vector<std::string> contents;
    for (const auto &entry : fs::recursive_directory_iterator(folder)) {
        if (entry.is_regular_file() && entry.path().filename().string().find(kind) != std::string::npos)
            contents.push_back(ReadText(entry.path()));
    }
    return contents;
}

enum class Runner { Plain, OrdinaryUser, OwnMounts };

struct SaveMode {
    const char *name;
    Runner runner;
    // Makes the target in the folder, holding kOld, and returns its name.
    std::string (*prepare)(const fs::path &folder);
};

const SaveMode kSaveModes[] = {
    {"replaced", Runner::Plain, [](const fs::path &folder) { return (folder / "take.vsq").string(); }},
    {"hard-linked", Runner::Plain,
     [](const fs::path &folder) {
         fs::create_hard_link(folder / "take.vsq", folder / "link.vsq");
         return (folder / "take.vsq").string();
     }},
    {"name of 250 bytes", Runner::Plain,
     [](const fs::path &folder) {
         const auto name = folder / (std::string(246, 'a') + ".vsq");
         fs::rename(folder / "take.vsq", name);
         return name.string();
     }},
    {"read-only folder", Runner::OrdinaryUser,
     [](const fs::path &folder) {
         ::setenv("XDG_CACHE_HOME", (folder.parent_path() / "cache").c_str(), 1);
         ::chmod(folder.c_str(), 0555);
         return (folder / "take.vsq").string();
     }},
    {"bind-mounted", Runner::OwnMounts,
     [](const fs::path &folder) {
         testfiles::WriteText((folder / "mounted.vsq").string(), kOld);
         const bool mounted = ::mount((folder / "mounted.vsq").c_str(), (folder / "take.vsq").c_str(), nullptr,
                                      MS_BIND, nullptr) == 0;
         return mounted ? (folder / "take.vsq").string() : std::string();
     }},
};

// Runs body in a child with mounts of its own, which end with it.
void RunWithOwnMounts(const std::function<void()> &body)
{
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
            ::_exit(0); // mounts are not for this test here
        try {
            body();
        } catch (const std::exception &error) {
            ADD_FAILURE() << error.what();
        }
        std::fflush(stdout);
        ::_exit(::testing::Test::HasFailure() ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the part with its own mounts failed";
}

} // namespace

// Whichever way a save reaches its file, and wherever it is cut short, the
// target holds the old or the new content, or the new content is complete in
// the copy the save left; a save that ends leaves nothing beside the file.
TEST_F(AtomicFileWriterTest, ASaveCutShortLeavesTheOldOrTheNewContent)
{
    for (const auto &mode : kSaveModes) {
        SCOPED_TRACE(mode.name);
        const auto body = [&] {
            for (const auto step : {AtomicFileWriter::Step::Synced, AtomicFileWriter::Step::CopyKept,
                                    AtomicFileWriter::Step::TargetHalfWritten}) {
                TempDir root;
                const fs::path folder = root.Path() / "work";
                fs::create_directory(folder);
                testfiles::WriteText((folder / "take.vsq").string(), kOld);
                const std::string target = mode.prepare(folder);
                if (target.empty())
                    return;
                SaveCutShort(target, step);
                const std::string now = ReadText(target);
                const auto copies = LeftIn(root.Path(), ".kopie-");
                EXPECT_TRUE(now == kOld || now == kNew || copies == std::vector<std::string>{kNew})
                    << "cut at step " << static_cast<int>(step) << ", holding " << now.size() << " bytes";

                WriteFile(target, kNew);
                EXPECT_EQ(ReadText(target), kNew);
                EXPECT_EQ(LeftIn(root.Path(), ".tmp-").size(), 0u);
                EXPECT_EQ(LeftIn(root.Path(), "kopie-"), copies) << "only the copy of the cut save is left";
                for (const char *sharing : {"link.vsq", "mounted.vsq"}) {
                    if (fs::exists(folder / sharing)) {
                        EXPECT_EQ(ReadText((folder / sharing).string()), kNew);
                    }
                }
                ::chmod(folder.c_str(), 0700);
            }
        };
        if (mode.runner == Runner::OrdinaryUser)
            testsupport::RunAsOrdinaryUser(body);
        else if (mode.runner == Runner::OwnMounts)
            RunWithOwnMounts(body);
        else
            body();
    }
}

TEST_F(AtomicFileWriterTest, APipeIsRefusedAtOnce)
{
    testsupport::RunAsOrdinaryUser([&] {
        const std::string pipe = dir.File("p.mid");
        ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
        EXPECT_EQ(RefusalOf(pipe, "x"), CannotCreate(pipe));
        EXPECT_TRUE(fs::is_fifo(pipe));
    }, 10);
}

// The next save into a folder removes the unfinished files of saves whose
// process is gone and tells, once, of their complete copies; nothing else.
TEST_F(AtomicFileWriterTest, LeftoversOfEndedSavesAreRemoved)
{
    // Ended, but left unreaped until the end of the test: a zombie runs no more.
    const pid_t gone = ::fork();
    if (gone == 0)
        ::_exit(0);
    siginfo_t exited {};
    ASSERT_EQ(::waitid(P_PID, static_cast<id_t>(gone), &exited, WEXITED | WNOWAIT), 0);
    const std::string ended = std::to_string(gone);
    const std::vector<std::string> kept{".take.vsq.tmp-1-0", ".take.vsq.tmp-" + ended + "-x", "take.vsq.tmp-" + ended + "-0"};
    for (const auto &name : kept)
        testfiles::WriteText(dir.File(name), "kept");
    testfiles::WriteText(dir.File(".other.mid.tmp-" + ended + "-3"), "unfinished");
    testfiles::WriteText(dir.File(".take.vsq.kopie-" + ended + "-0"), "complete");
    // Made after the save began: a process of the same number may be writing it.
    const std::string later = ".take.vsq.tmp-" + ended + "-9";
    testfiles::WriteText(dir.File(later), "later");
    const timespec times[2] = {{0, UTIME_OMIT}, {::time(nullptr) + 3600, 0}};
    ::utimensat(AT_FDCWD, dir.File(later).c_str(), times, 0);

    std::vector<std::string> notices;
    AtomicFileWriter::SetNoticeHandler([&](const std::string &text) { notices.push_back(text); });
    WriteFile(dir.File("take.vsq"), "new");
    WriteFile(dir.File("take.vsq"), "newer");
    AtomicFileWriter::SetNoticeHandler(nullptr);
    ASSERT_EQ(::waitpid(gone, nullptr, 0), gone);

    auto expected = kept;
    expected.insert(expected.end(), {later, "take.vsq", "take.vsq.kopie-" + ended + "-0"});
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(dir.Entries(), expected);
    EXPECT_EQ(notices, std::vector<std::string>{"Eine abgebrochene Speicherung hat ihre Daten in " + dir.Path().string()
                                                + "/take.vsq.kopie-" + ended + "-0 hinterlassen."});
}
