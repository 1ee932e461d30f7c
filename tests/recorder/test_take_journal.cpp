// The take's journal: it holds exactly what the take holds, a program that
// ends leaves it to be found, and a journal still in use is never offered.

#include "recorder/TakeJournal.h"

#include "common/SerialWorker.h"
#include "support/TestFiles.h"
#include "support/HangBound.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>
#include <map>

namespace {

using namespace recorder;
using Bytes = std::vector<std::uint8_t>;
namespace fs = std::filesystem;

using testfiles::Records;

const Bytes kTake = Records({{0, 0xC0, 5, 0}, {3, 0x90, 60, 100}, {41, 0x80, 60, 0}});

TEST(TakeJournal, HoldsWhatTheTakeHoldsAndGoesWithIt)
{
    testfiles::TempDir folder;
    common::SerialWorker worker;
    TakeJournal journal(folder.Path().string(), worker, [](JournalFault, const std::string &) { ADD_FAILURE() << "told a failure"; });
    RecordingStream take;
    journal.Begin();
    for (std::size_t at = 0; at < kTake.size(); at += RecordedEvent::kSize) {
        take.Write(kTake.data() + at, RecordedEvent::kSize);
        journal.Follow(take);
        ASSERT_TRUE(journal.Settle(testing_support::kHangBound));
        // Each record is in the file before the next comes: a kill loses none.
        EXPECT_EQ(testfiles::ReadBytes(journal.Path()), take.Bytes());
    }
    journal.Seal(take);
    const std::string sealed = journal.Path();
    ASSERT_TRUE(journal.Settle(testing_support::kHangBound));
    EXPECT_EQ(testfiles::ReadBytes(sealed), kTake) << "a stopped take keeps its journal";

    // A new take: the one before was saved or given up.
    journal.Begin();
    take.Clear();
    take.Write(kTake.data(), RecordedEvent::kSize);
    journal.Follow(take);
    ASSERT_TRUE(journal.Settle(testing_support::kHangBound));
    EXPECT_FALSE(fs::exists(sealed));
    EXPECT_NE(journal.Path(), sealed);
    EXPECT_EQ(testfiles::ReadBytes(journal.Path()), take.Bytes());
    const std::string second = journal.Path();
    journal.Remove();
    ASSERT_TRUE(journal.Settle(testing_support::kHangBound));
    EXPECT_FALSE(fs::exists(second));
    EXPECT_TRUE(folder.Entries().empty());
}

TEST(TakeJournal, AJournalThatCannotBeWrittenIsToldOnceAndTheTakeGoesOn)
{
    testfiles::TempDir folder;
    common::SerialWorker worker;
    int told = 0;
    TakeJournal::SetWriteHook([](const std::string &) { return false; }); // a full disk
    TakeJournal journal(folder.Path().string(), worker, [&](JournalFault fault, const std::string &path) {
        ++told;
        EXPECT_EQ(fault, JournalFault::NotWritten);
        EXPECT_TRUE(path.starts_with(folder.Path().string()));
    });
    RecordingStream take;
    journal.Begin();
    for (std::size_t at = 0; at < kTake.size(); at += RecordedEvent::kSize) {
        take.Write(kTake.data() + at, RecordedEvent::kSize);
        journal.Follow(take);
        ASSERT_TRUE(journal.Settle(testing_support::kHangBound));
    }
    journal.Seal(take);
    ASSERT_TRUE(journal.Settle(testing_support::kHangBound));
    TakeJournal::SetWriteHook({});
    EXPECT_EQ(told, 1);
    EXPECT_EQ(take.Bytes(), kTake);
}

TEST(TakeJournal, JournalsLeftBehindAreFoundWholeAndNothingElseIs)
{
    testfiles::TempDir folder;
    const auto path = [&](const std::string &name) { return folder.File(name); };
    Bytes torn = kTake;
    torn.insert(torn.end(), {7, 0, 0}); // a power cut in the middle of a record
    const Bytes damaged{0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07};
    testfiles::WriteBytes(path("take-1-1-1.vsq"), kTake);
    testfiles::WriteBytes(path("take-2-1-1.vsq"), torn);
    testfiles::WriteBytes(path("take-3-1-1.vsq"), damaged);
    testfiles::WriteBytes(path("take-4-1-1.vsq"), {});
    testfiles::WriteBytes(path("take-5-1-1.vsq"), kTake); // its program still runs
    testfiles::WriteBytes(path("notes.vsq"), kTake);      // not a journal
    const int running = ::open(path("take-5-1-1.vsq").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(::flock(running, LOCK_EX | LOCK_NB), 0);

    // This program's own journal, in use.
    common::SerialWorker worker;
    TakeJournal own(folder.Path().string(), worker, {});
    RecordingStream take;
    take.Write(kTake.data(), kTake.size());
    own.Begin();
    own.Follow(take);
    ASSERT_TRUE(own.Settle(testing_support::kHangBound));

    LeftJournals found = FindLeftJournals(folder.Path().string());
    std::map<std::string, Bytes> offered;
    for (const LeftTake &left : found.takes) {
        offered[fs::path(left.path).filename().string()] = left.bytes;
        EXPECT_EQ(left.length, std::chrono::milliseconds(41 * 50));
        EXPECT_TRUE(left.lock.Held());
    }
    EXPECT_EQ(offered, (std::map<std::string, Bytes>{{"take-1-1-1.vsq", kTake}, {"take-2-1-1.vsq", kTake}}));
    EXPECT_EQ(found.damaged, std::vector<std::string>{path("take-3-1-1.vsq.damaged")});
    EXPECT_EQ(testfiles::ReadBytes(path("take-3-1-1.vsq.damaged")), damaged) << "kept aside, never deleted";
    EXPECT_FALSE(fs::exists(path("take-4-1-1.vsq"))) << "an empty journal holds nothing to lose";

    // While one is offered, another program starting meanwhile passes it over.
    EXPECT_TRUE(FindLeftJournals(folder.Path().string()).takes.empty());
    found.takes.clear();
    ::close(running);
    EXPECT_EQ(FindLeftJournals(folder.Path().string()).takes.size(), 3u) << "their programs have ended";
}

TEST(TakeJournal, ALeftTakeEndsTheNotesItLeftSoundingAtItsLastTick)
{
    // Killed with a key and a drum held (one note already ended, one drum
    // switched off by a Note On of velocity 0).
    const Bytes left = Records({{0, 0xC0, 5, 0}, {2, 0x90, 64, 90}, {3, 0x90, 60, 100}, {4, 0x99, 36, 80},
                                {4, 0x99, 42, 80}, {6, 0x80, 64, 0}, {7, 0x99, 42, 0}, {9, 0xB0, 64, 127}});
    testfiles::TempDir folder;
    testfiles::WriteBytes(folder.File("take-1-1-1.vsq"), left);
    const LeftJournals found = FindLeftJournals(folder.Path().string());
    ASSERT_EQ(found.takes.size(), 1u);
    Bytes closed = left;
    const Bytes offs = Records({{9, 0x80, 60, 0}, {9, 0x89, 36, 0}});
    closed.insert(closed.end(), offs.begin(), offs.end());
    EXPECT_EQ(found.takes[0].bytes, closed);
    EXPECT_EQ(found.takes[0].length, std::chrono::milliseconds(9 * 50));
    EXPECT_EQ(testfiles::ReadBytes(folder.File("take-1-1-1.vsq")), left) << "the journal stays as it was left";
}

} // namespace
