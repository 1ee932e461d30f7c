#include "common/SettingsFile.h"
#include "support/EnvGuard.h"
#include "support/OrdinaryUser.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using common::EIniFileException;
using common::SettingsFile;

namespace {

std::string readText(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void writeText(const fs::path &path, const std::string &text)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    ASSERT_TRUE(out.good()) << path;
}

std::vector<std::string> folderEntries(const fs::path &folder)
{
    std::vector<std::string> names;
    for (const auto &entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::string refusedMessage(const fs::path &path)
{
    return "In " + path.string() + " kann nicht geschrieben werden";
}

// Sets an environment variable for one test and puts the old value back.
using ScopedEnv = testing_support::EnvGuard;

class SettingsFileTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir_.isValid()); }

    fs::path folder() const { return fs::path(dir_.path().toStdString()); }
    fs::path iniPath() const { return folder() / "sonoret.ini"; }

    SettingsFile settingsWith(const std::string &text)
    {
        writeText(iniPath(), text);
        return SettingsFile(iniPath().string());
    }

private:
    QTemporaryDir dir_;
};

} // namespace

// --- reading ---------------------------------------------------------------

TEST_F(SettingsFileTest, MissingFileSectionOrKeyGiveTheDefaults)
{
    SettingsFile missing(iniPath().string());
    EXPECT_EQ(missing.ReadInteger("Device", "ID", 0), 0);
    EXPECT_EQ(missing.ReadInteger("Common", "Beat", 120), 120);
    EXPECT_TRUE(missing.ReadBool("Common", "Drums", true));
    EXPECT_EQ(missing.ReadString("Common", "Name", "none"), "none");
    EXPECT_TRUE(missing.ReadSection("Keys").empty());
    EXPECT_TRUE(missing.ReadSectionValues("Keys").empty());
    EXPECT_FALSE(fs::exists(iniPath())) << "reading must not create the file";

    auto settings = settingsWith("[Common]\nBeat=90\n");
    EXPECT_EQ(settings.ReadInteger("Device", "ID", 3), 3);
    EXPECT_EQ(settings.ReadInteger("Common", "Volume", 127), 127);
    EXPECT_FALSE(settings.ReadBool("Common", "Drums", false));
    EXPECT_TRUE(settings.ReadSection("Keys").empty());
}

TEST_F(SettingsFileTest, IntegersGoThroughTheSharedConversion)
{
    auto settings = settingsWith("[Common]\n"
                                 "Beat=0x78\n"
                                 "Transposition=-12\n"
                                 "Volume=loud\n"
                                 "Instrument=\n"
                                 "Hex=$7F\n"
                                 "Tail=12abc\n");
    EXPECT_EQ(settings.ReadInteger("Common", "Beat", 0), 120);
    EXPECT_EQ(settings.ReadInteger("Common", "Transposition", 0), -12);
    EXPECT_EQ(settings.ReadInteger("Common", "Volume", 127), 127);
    EXPECT_EQ(settings.ReadInteger("Common", "Instrument", 5), 5);
    EXPECT_EQ(settings.ReadInteger("Common", "Hex", 0), 127);
    EXPECT_EQ(settings.ReadInteger("Common", "Tail", 1), 1);
}

TEST_F(SettingsFileTest, BooleanIsTrueWhenNotZeroAndWrittenAsOneOrZero)
{
    auto settings = settingsWith("[Common]\nDrums=7\nOther=0\nBad=yes\n");
    EXPECT_TRUE(settings.ReadBool("Common", "Drums", false));
    EXPECT_FALSE(settings.ReadBool("Common", "Other", true));
    EXPECT_TRUE(settings.ReadBool("Common", "Bad", true));
    EXPECT_FALSE(settings.ReadBool("Common", "Bad", false));

    settings.WriteBool("Common", "Drums", settings.ReadBool("Common", "Drums", false));
    EXPECT_EQ(readText(iniPath()), "[Common]\nDrums=1\nOther=0\nBad=yes\n");
    settings.WriteBool("Common", "Drums", false);
    EXPECT_EQ(readText(iniPath()), "[Common]\nDrums=0\nOther=0\nBad=yes\n");
}

TEST_F(SettingsFileTest, SectionsAndKeysMatchWithoutRegardToCase)
{
    auto settings = settingsWith("[COMMON]\nbeat=90\n[keys]\n65=13\n");
    EXPECT_EQ(settings.ReadInteger("Common", "Beat", 0), 90);
    EXPECT_EQ(settings.ReadSection("Keys"), std::vector<std::string>{"65"});

    // An existing key keeps its line and its spelling; no second section.
    settings.WriteInteger("common", "BEAT", 100);
    settings.WriteInteger("Common", "Volume", 64);
    EXPECT_EQ(readText(iniPath()), "[COMMON]\nbeat=100\nVolume=64\n[keys]\n65=13\n");
}

TEST_F(SettingsFileTest, ValuesAreTrimmedAndMayContainEquals)
{
    auto settings = settingsWith("[Common]\n  Name  =  a=b = c  \n\tTab\t=\t5\t\n");
    EXPECT_EQ(settings.ReadString("Common", "Name", ""), "a=b = c");
    EXPECT_EQ(settings.ReadInteger("Common", "Tab", 0), 5);
    EXPECT_EQ(settings.ReadSectionValues("Common"), (std::vector<std::string>{"Name=a=b = c", "Tab=5"}));

    settings.WriteString("Common", "Formula", "x=y");
    EXPECT_EQ(settings.ReadString("Common", "Formula", ""), "x=y");
}

TEST_F(SettingsFileTest, NothingIsCachedBetweenAccesses)
{
    auto settings = settingsWith("[Common]\nBeat=90\n");
    EXPECT_EQ(settings.ReadInteger("Common", "Beat", 0), 90);
    // Changed in place at once, keeping its size: its times may not move.
    for (int beat = 91; beat <= 99; ++beat) {
        writeText(iniPath(), "[Common]\nBeat=" + std::to_string(beat) + "\n");
        EXPECT_EQ(settings.ReadInteger("Common", "Beat", 0), beat);
        EXPECT_EQ(settings.ReadSectionValues("Common"), std::vector<std::string>{"Beat=" + std::to_string(beat)});
    }

    SettingsFile other(iniPath().string());
    other.WriteInteger("Common", "Volume", 3);
    settings.WriteInteger("Common", "Beat", 100);
    EXPECT_EQ(readText(iniPath()), "[Common]\nBeat=100\nVolume=3\n");
}

// --- file order and rewriting ------------------------------------------------

TEST_F(SettingsFileTest, WritingTheValueAlreadyThereLeavesTheFileAlone)
{
    auto settings = settingsWith("[Common]\nBeat = 90\n");
    struct stat before {};
    ASSERT_EQ(::stat(iniPath().c_str(), &before), 0);
    settings.WriteInteger("Common", "Beat", 90);
    struct stat after {};
    ASSERT_EQ(::stat(iniPath().c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino) << "not replaced";
    EXPECT_EQ(readText(iniPath()), "[Common]\nBeat = 90\n");
    settings.WriteInteger("Common", "Beat", 91);
    EXPECT_EQ(readText(iniPath()), "[Common]\nBeat=91\n");
}

TEST_F(SettingsFileTest, KeysAndLinesComeInFileOrder)
{
    auto settings = settingsWith("[Keys]\n226=1\n89=2\n88=3\n67=4\n[Common]\nBeat=120\n");
    EXPECT_EQ(settings.ReadSection("Keys"), (std::vector<std::string>{"226", "89", "88", "67"}));
    EXPECT_EQ(settings.ReadSectionValues("Keys"), (std::vector<std::string>{"226=1", "89=2", "88=3", "67=4"}));

    // A key that appears twice counts once, with the value that is read.
    settings = settingsWith("[Keys]\n65=1\n66=2\n65=3\n");
    EXPECT_EQ(settings.ReadSectionValues("Keys"), (std::vector<std::string>{"65=1", "66=2"}));
    EXPECT_EQ(settings.ReadInteger("Keys", "65", 0), 1);
}

TEST_F(SettingsFileTest, ALongSectionWithRepeatedKeysCountsEachKeyOnce)
{
    constexpr int kKeys = 20000;
    std::string text = "[Keys]\n";
    for (int i = 0; i < kKeys; ++i)
        text += "k" + std::to_string(i) + "=" + std::to_string(i) + "\n";
    for (int i = 0; i < kKeys; ++i)
        text += "K" + std::to_string(i) + "=again\n"; // the same keys in other case
    auto settings = settingsWith(text);

    const auto keys = settings.ReadSection("Keys");
    const auto lines = settings.ReadSectionValues("Keys");
    ASSERT_EQ(keys.size(), static_cast<std::size_t>(kKeys));
    ASSERT_EQ(lines.size(), static_cast<std::size_t>(kKeys));
    for (int i = 0; i < kKeys; i += 997) {
        EXPECT_EQ(keys[static_cast<std::size_t>(i)], "k" + std::to_string(i));
        EXPECT_EQ(lines[static_cast<std::size_t>(i)], "k" + std::to_string(i) + "=" + std::to_string(i));
    }
}

TEST_F(SettingsFileTest, WritesReplaceInPlaceAppendToTheSectionOrAddASection)
{
    auto settings = settingsWith("[Device]\nID=0\n\n[Common]\nBeat=120\nVolume=127\n");
    settings.WriteInteger("Common", "Beat", 90);
    settings.WriteInteger("Device", "Extra", 1);
    settings.WriteInteger("Keys", "65", 13);
    settings.WriteInteger("Keys", "83", 14);
    EXPECT_EQ(readText(iniPath()), "[Device]\nID=0\nExtra=1\n\n"
                                   "[Common]\nBeat=90\nVolume=127\n\n"
                                   "[Keys]\n65=13\n83=14\n");
}

TEST_F(SettingsFileTest, CommentsBlankLinesAndOtherLinesAreKeptAsTheyStand)
{
    const std::string original = "; settings of the keyboard\n"
                                 "stray line before any section\n"
                                 "[Common]\n"
                                 "  ; the tempo\n"
                                 "Beat = 120\n"
                                 "not a key line\n"
                                 "\n"
                                 "; about the keys\n"
                                 "[Keys]\n"
                                 "65=13\n";
    auto settings = settingsWith(original);
    EXPECT_EQ(settings.ReadSection("Common"), std::vector<std::string>{"Beat"});

    settings.WriteInteger("Common", "Beat", 90);
    settings.WriteInteger("Common", "Volume", 64);
    EXPECT_EQ(readText(iniPath()), "; settings of the keyboard\n"
                                   "stray line before any section\n"
                                   "[Common]\n"
                                   "  ; the tempo\n"
                                   "Beat=90\n"
                                   "Volume=64\n"
                                   "not a key line\n"
                                   "\n"
                                   "; about the keys\n"
                                   "[Keys]\n"
                                   "65=13\n");
}

TEST_F(SettingsFileTest, WindowsLineEndsAndByteOrderMarkSurviveARewrite)
{
    auto settings = settingsWith("\xEF\xBB\xBF[Common]\r\nBeat=0x78\r\n");
    EXPECT_EQ(settings.ReadInteger("Common", "Beat", 0), 120);
    settings.WriteInteger("Common", "Volume", 100);
    EXPECT_EQ(readText(iniPath()), "\xEF\xBB\xBF[Common]\r\nBeat=0x78\r\nVolume=100\r\n");
}

TEST_F(SettingsFileTest, WriteCreatesTheFileAndKeepsUtf8AsGiven)
{
    SettingsFile settings(iniPath().string());
    settings.WriteString("Common", "Name", "Grüße");
    EXPECT_EQ(readText(iniPath()), "[Common]\nName=Grüße\n");
    EXPECT_EQ(settings.ReadString("Common", "Name", ""), "Grüße");
    EXPECT_EQ(folderEntries(folder()), std::vector<std::string>{"sonoret.ini"}) << "no temporary file left";
}

TEST_F(SettingsFileTest, EntriesThatWouldBreakTheFileAreRefused)
{
    auto settings = settingsWith("[Common]\nBeat=120\n");
    EXPECT_THROW(settings.WriteString("Common", "Beat", "1\n[Keys]"), std::invalid_argument);
    EXPECT_THROW(settings.WriteString("Common", "a=b", "1"), std::invalid_argument);
    EXPECT_THROW(settings.WriteString("Com]mon", "Beat", "1"), std::invalid_argument);
    EXPECT_THROW(settings.WriteString("Common", "", "1"), std::invalid_argument);
    EXPECT_EQ(readText(iniPath()), "[Common]\nBeat=120\n");
}

// --- erasing -------------------------------------------------------------------

TEST_F(SettingsFileTest, EraseSectionRemovesItsLinesOnly)
{
    auto settings = settingsWith("[Common]\nBeat=120\n\n[KEYS]\n65=13\n; own comment\n83=14\n\n"
                                 "[Device]\nID=1\n");
    settings.EraseSection("Keys");
    EXPECT_EQ(readText(iniPath()), "[Common]\nBeat=120\n\n[Device]\nID=1\n");
    EXPECT_TRUE(settings.ReadSection("Keys").empty());

    // Assigning keys afterwards builds the section anew at the end.
    settings.WriteInteger("Keys", "65", 20);
    EXPECT_EQ(readText(iniPath()), "[Common]\nBeat=120\n\n[Device]\nID=1\n\n[Keys]\n65=20\n");
}

TEST_F(SettingsFileTest, EraseSectionRemovesEveryCopyOfTheSection)
{
    auto settings = settingsWith("[Keys]\n65=1\n[Common]\nBeat=1\n[Keys]\n66=2\n");
    settings.EraseSection("Keys");
    EXPECT_EQ(readText(iniPath()), "[Common]\nBeat=1\n");
    EXPECT_EQ(settings.ReadInteger("Keys", "66", 0), 0);
}

TEST_F(SettingsFileTest, ErasingWithoutAFileCreatesNone)
{
    SettingsFile settings(iniPath().string());
    settings.EraseSection("Keys");
    EXPECT_FALSE(fs::exists(iniPath()));
}

// --- refused writes --------------------------------------------------------------

TEST_F(SettingsFileTest, AFailedWriteLeavesTheOldFileIntact)
{
    // A file size limit makes the write fail halfway, like a full disk,
    // and holds for root as well.
    const std::string original = "[Common]\nBeat=120\n";
    auto settings = settingsWith(original);
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 32;

    std::optional<std::string> error;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    try {
        settings.WriteString("Common", "Name", std::string(200, 'x'));
    } catch (const EIniFileException &e) {
        error = e.what();
    }
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    ASSERT_TRUE(error.has_value()) << "the write must be refused";
    EXPECT_EQ(*error, refusedMessage(iniPath()));
    EXPECT_EQ(readText(iniPath()), original);
    EXPECT_EQ(folderEntries(folder()), std::vector<std::string>{"sonoret.ini"}) << "temporary file removed";
    EXPECT_EQ(settings.ReadInteger("Common", "Beat", 0), 120);
}

TEST_F(SettingsFileTest, AFileInAMissingFolderCannotBeWritten)
{
    const auto path = folder() / "gone" / "sonoret.ini";
    SettingsFile settings(path.string());
    EXPECT_EQ(settings.ReadInteger("Common", "Beat", 120), 120);
    try {
        settings.WriteInteger("Common", "Beat", 90);
        FAIL() << "the write must be refused";
    } catch (const EIniFileException &e) {
        EXPECT_EQ(std::string(e.what()), refusedMessage(path));
    }
    EXPECT_FALSE(fs::exists(path.parent_path()));
}

TEST_F(SettingsFileTest, AnUnreadableSettingsPathIsNotOverwritten)
{
    // A folder where the file should be cannot be read; writing over it
    // would lose whatever is there, so the write is refused.
    fs::create_directory(iniPath());
    writeText(iniPath() / "inside", "keep");
    SettingsFile settings(iniPath().string());
    EXPECT_EQ(settings.ReadInteger("Common", "Beat", 7), 7);
    EXPECT_THROW(settings.WriteInteger("Common", "Beat", 90), EIniFileException);
    EXPECT_THROW(settings.EraseSection("Keys"), EIniFileException);
    EXPECT_EQ(readText(iniPath() / "inside"), "keep");
}

TEST_F(SettingsFileTest, AReadOnlyFolderRefusesANewFileButTakesChangesInPlace)
{
    const std::string original = "[Common]\nBeat=120\n";
    const auto path = iniPath();
    const auto other = folder() / "other.ini";
    testsupport::GiveToOrdinaryUser(folder());
    testsupport::RunAsOrdinaryUser([&] {
        writeText(path, original);
        fs::permissions(folder(), fs::perms::owner_read | fs::perms::owner_exec);

        SettingsFile missing(other.string());
        try {
            missing.WriteInteger("Common", "Beat", 90);
            ADD_FAILURE() << "a new file in a read-only folder must be refused";
        } catch (const EIniFileException &e) {
            EXPECT_EQ(std::string(e.what()), refusedMessage(other));
        }
        EXPECT_FALSE(fs::exists(other));

        // The existing, writable file is written in place.
        SettingsFile settings(path.string());
        settings.WriteInteger("Common", "Beat", 90);
        settings.EraseSection("Keys");
        EXPECT_EQ(readText(path), "[Common]\nBeat=90\n");
        EXPECT_EQ(folderEntries(folder()), std::vector<std::string>{"sonoret.ini"});
        fs::permissions(folder(), fs::perms::owner_all);
    });
}

TEST_F(SettingsFileTest, AReadOnlySettingsFileRefusesTheWrite)
{
    const std::string original = "[Common]\nBeat=120\n";
    const auto path = iniPath();
    testsupport::GiveToOrdinaryUser(folder());
    testsupport::RunAsOrdinaryUser([&] {
        writeText(path, original);
        fs::permissions(path, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
        SettingsFile settings(path.string());
        for (const auto &write : std::vector<std::function<void()>>{
                 [&] { settings.WriteInteger("Common", "Beat", 90); },
                 [&] { settings.WriteBool("Common", "Drums", true); },
                 [&] { settings.EraseSection("Common"); }}) {
            try {
                write();
                ADD_FAILURE() << "the write must be refused";
            } catch (const EIniFileException &e) {
                EXPECT_EQ(std::string(e.what()), refusedMessage(path));
            }
        }
        EXPECT_EQ(readText(path), original);
        EXPECT_EQ(fs::status(path).permissions() & fs::perms::all,
                  fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
        EXPECT_EQ(folderEntries(folder()), std::vector<std::string>{"sonoret.ini"});
    });
}

TEST_F(SettingsFileTest, LinksLeadToTheSettingsTheyName)
{
    // A dangling link: the file it names is created, the link stays.
    fs::create_symlink("real.ini", iniPath());
    SettingsFile settings(iniPath().string());
    settings.WriteInteger("Common", "Beat", 90);
    EXPECT_TRUE(fs::is_symlink(iniPath()));
    EXPECT_EQ(readText(folder() / "real.ini"), "[Common]\nBeat=90\n");

    // A second name of the same file keeps seeing every change.
    fs::create_hard_link(folder() / "real.ini", folder() / "twin.ini");
    settings.WriteInteger("Common", "Volume", 64);
    EXPECT_EQ(readText(folder() / "twin.ini"), "[Common]\nBeat=90\nVolume=64\n");
    EXPECT_TRUE(fs::equivalent(folder() / "real.ini", folder() / "twin.ini"));

    // A loop of links is no place for settings.
    fs::create_symlink("loop2.ini", folder() / "loop1.ini");
    fs::create_symlink("loop1.ini", folder() / "loop2.ini");
    SettingsFile loop((folder() / "loop1.ini").string());
    EXPECT_EQ(loop.ReadInteger("Common", "Beat", 7), 7);
    EXPECT_THROW(loop.WriteInteger("Common", "Beat", 90), EIniFileException);
}

TEST_F(SettingsFileTest, APipeNamedLikeTheSettingsFileIsNotWaitedOn)
{
    const auto path = iniPath();
    testsupport::GiveToOrdinaryUser(folder());
    // Run apart, so that a read that waits ends in the child's time limit.
    testsupport::RunAsOrdinaryUser([&] {
        ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
        SettingsFile settings(path.string());
        EXPECT_EQ(settings.ReadInteger("Common", "Beat", 120), 120);
        EXPECT_TRUE(settings.ReadSection("Keys").empty());
        EXPECT_TRUE(settings.ReadSectionValues("Keys").empty());
        EXPECT_THROW(settings.WriteInteger("Common", "Beat", 90), EIniFileException);
        EXPECT_THROW(settings.EraseSection("Keys"), EIniFileException);
        EXPECT_TRUE(fs::is_fifo(path));
    }, 10);
}

TEST_F(SettingsFileTest, TwoProgramsWritingAtOnceKeepEachOthersChanges)
{
    constexpr int kWrites = 100;
    const auto path = iniPath().string();
    std::vector<pid_t> writers;
    for (const char *prefix : {"A", "B"}) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            int failures = 0;
            SettingsFile settings(path);
            for (int i = 0; i < kWrites; ++i) {
                try {
                    settings.WriteInteger("Keys", prefix + std::to_string(i), i);
                } catch (const std::exception &) {
                    ++failures;
                }
            }
            ::_exit(failures == 0 ? 0 : 1);
        }
        writers.push_back(child);
    }
    for (const pid_t writer : writers) {
        int status = 0;
        ASSERT_EQ(::waitpid(writer, &status, 0), writer);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    SettingsFile settings(path);
    std::vector<std::string> lost;
    for (int i = 0; i < kWrites; ++i) {
        for (const std::string &key : {"A" + std::to_string(i), "B" + std::to_string(i)}) {
            if (settings.ReadInteger("Keys", key, -1) != i)
                lost.push_back(key);
        }
    }
    EXPECT_TRUE(lost.empty()) << lost.size() << " writes lost, the first " << lost.front();
    EXPECT_EQ(folderEntries(folder()), std::vector<std::string>{"sonoret.ini"}) << "no lock file left";
}

// A program that stopped while it held the lock (here: the lock taken and
// kept) refuses the write after a bounded wait instead of hanging; once the
// lock is free again, writes go through.
TEST_F(SettingsFileTest, ALockKeptByAStoppedProgramRefusesTheWriteInsteadOfHanging)
{
    const auto path = iniPath().string();
    SettingsFile settings(path);
    settings.WriteInteger("Common", "Volume", 90);
    const auto before = readText(iniPath());
    const int held = ::open((folder() / ".sonoret.ini.lock").c_str(), O_RDWR | O_CREAT, 0666);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    for (const std::function<void()> &write : std::initializer_list<std::function<void()>>{
             [&] { settings.WriteInteger("Common", "Volume", 60); }, [&] { settings.EraseSection("Common"); }}) {
        try {
            write();
            ADD_FAILURE() << "a write went past the held lock";
        } catch (const EIniFileException &error) {
            EXPECT_EQ(std::string(error.what()), refusedMessage(iniPath()));
        }
    }
    EXPECT_EQ(readText(iniPath()), before);
    ::close(held);
    settings.WriteInteger("Common", "Volume", 60);
    EXPECT_EQ(settings.ReadInteger("Common", "Volume", 0), 60);
}

TEST_F(SettingsFileTest, RewriteKeepsTheFileModeAndSymbolicLinks)
{
    const auto target = folder() / "real.ini";
    writeText(target, "[Common]\nBeat=120\n");
    fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write);
    fs::create_symlink("real.ini", iniPath());

    SettingsFile settings(iniPath().string());
    settings.WriteInteger("Common", "Beat", 90);
    EXPECT_TRUE(fs::is_symlink(iniPath()));
    EXPECT_EQ(readText(target), "[Common]\nBeat=90\n");
    EXPECT_EQ(fs::status(target).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
}

// --- location ----------------------------------------------------------------------

TEST_F(SettingsFileTest, LocationIsTheExecutablePathWithExtensionIni)
{
    fs::create_directory(folder() / "my.tools");
    const auto base = folder().string();
    EXPECT_EQ(SettingsFile::LocationFor(base + "/x.exe"), base + "/x.ini");
    EXPECT_EQ(SettingsFile::LocationFor(base + "/midi-sonoret"), base + "/midi-sonoret.ini");
    EXPECT_EQ(SettingsFile::LocationFor(base + "/my.tools/sonoret"), base + "/my.tools/sonoret.ini");
    EXPECT_EQ(SettingsFile::LocationFor(base + "/sonoret.tar.gz"), base + "/sonoret.tar.ini");
}

TEST_F(SettingsFileTest, AnInstalledProgramNeverWritesBesideItselfEvenWhenItCould)
{
    const auto config = folder() / "config";
    ScopedEnv xdg("XDG_CONFIG_HOME", config.string());
    // Writable for root, as /usr/bin is: only the prefix's share folder tells.
    const auto bin = folder() / "prefix" / "bin";
    fs::create_directories(bin);
    const std::string program = (bin / "midi-sonoret").string();
    EXPECT_EQ(SettingsFile::LocationFor(program), (bin / "midi-sonoret.ini").string()) << "a build's folder";
    fs::create_directories(folder() / "prefix" / "share" / "midi-sonoret");
    EXPECT_EQ(SettingsFile::LocationFor(program), (config / "midi-sonoret" / "midi-sonoret.ini").string());
}

TEST_F(SettingsFileTest, NotWritableFolderFallsBackToTheUserConfigFolder)
{
    const auto config = folder() / "config";
    ScopedEnv xdg("XDG_CONFIG_HOME", config.string());

    // A folder that does not exist cannot be written, even by root.
    const auto installed = folder() / "usr" / "bin";
    EXPECT_EQ(SettingsFile::LocationFor((installed / "midi-sonoret").string()),
              (config / "midi-sonoret" / "midi-sonoret.ini").string());
    EXPECT_TRUE(fs::is_directory(config / "midi-sonoret"));

    testsupport::GiveToOrdinaryUser(folder());
    testsupport::RunAsOrdinaryUser([&] {
        fs::create_directories(installed);
        fs::permissions(installed, fs::perms::owner_read | fs::perms::owner_exec);
        EXPECT_EQ(SettingsFile::LocationFor((installed / "sonoret.bin").string()),
                  (config / "midi-sonoret" / "sonoret.ini").string());

        // A writable settings file already there is kept, and written in place.
        fs::permissions(installed, fs::perms::owner_all);
        writeText(installed / "kept.ini", "[Common]\nBeat=90\n");
        fs::permissions(installed, fs::perms::owner_read | fs::perms::owner_exec);
        EXPECT_EQ(SettingsFile::LocationFor((installed / "kept").string()), (installed / "kept.ini").string());
        fs::permissions(installed / "kept.ini", fs::perms::owner_read);
        EXPECT_EQ(SettingsFile::LocationFor((installed / "kept").string()),
                  (config / "midi-sonoret" / "kept.ini").string());
        fs::permissions(installed, fs::perms::owner_all);
    });
}

TEST_F(SettingsFileTest, UserConfigFolderDefaultsToDotConfigInHome)
{
    ScopedEnv home("HOME", folder().string());
    const auto missing = (folder() / "missing" / "sonoret").string();
    const auto expected = (folder() / ".config" / "midi-sonoret" / "sonoret.ini").string();
    {
        ScopedEnv xdg("XDG_CONFIG_HOME", std::nullopt);
        EXPECT_EQ(SettingsFile::LocationFor(missing), expected);
    }
    {
        // Relative values are not to be used.
        ScopedEnv xdg("XDG_CONFIG_HOME", "relative/config");
        EXPECT_EQ(SettingsFile::LocationFor(missing), expected);
    }
}

TEST_F(SettingsFileTest, TwoExecutablesWithDifferentNamesKeepSeparateSettings)
{
    const auto config = folder() / "config";
    ScopedEnv xdg("XDG_CONFIG_HOME", config.string());

    for (const auto &dir : {folder(), folder() / "not-there"}) {
        SettingsFile first(SettingsFile::LocationFor((dir / "sonoret").string()));
        SettingsFile second(SettingsFile::LocationFor((dir / "sonoret2.exe").string()));
        EXPECT_NE(first.FileName(), second.FileName());
        first.WriteInteger("Common", "Beat", 60);
        second.WriteInteger("Common", "Beat", 180);
        EXPECT_EQ(first.ReadInteger("Common", "Beat", 0), 60) << dir;
        EXPECT_EQ(second.ReadInteger("Common", "Beat", 0), 180) << dir;
    }
}
