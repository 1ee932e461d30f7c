#pragma once
// The take's journal: while a take is recorded, every byte it gets is also
// appended to a file in the user's state folder, so that a take survives a
// crash, a kill, a logout or a power cut. The journal is in the native
// recording format, so it is itself a recording that opens. The window's
// thread only hands bytes over; a writer on the save worker's thread puts
// them in the file within milliseconds and makes them durable at least once
// a second.
//
// Each program names its journals by its process number and start time and
// holds a lock on the one it writes, so that a journal whose lock can be
// taken was left by a program that has ended.

#include "recorder/RecordingStream.h"

#include <chrono>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace common {
class SerialWorker;
}

namespace recorder {

// The folder of the journals: $XDG_STATE_HOME/midi-sonoret, by default
// ~/.local/state/midi-sonoret.
std::string JournalFolder();

// An open file descriptor holding an exclusive lock; the lock goes with it.
class JournalLock {
public:
    JournalLock() = default;
    explicit JournalLock(int fd) : fd_(fd) {}
    ~JournalLock();
    JournalLock(JournalLock &&other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    JournalLock &operator=(JournalLock &&other) noexcept;
    bool Held() const { return fd_ >= 0; }
    int Fd() const { return fd_; }

private:
    int fd_ = -1;
};

// A journal that a program which has ended left behind, locked while it is
// offered.
struct LeftTake {
    std::string path;
    // The take's records, whole ones only (a torn last record is cut off),
    // closed as a stopped take is: each note left on gets a Note Off at the
    // last record's tick.
    std::vector<std::uint8_t> bytes;
    // When the journal was last written.
    std::chrono::system_clock::time_point written;
    // How long the take lasted, by its last record's tick.
    std::chrono::milliseconds length{0};
    JournalLock lock;
};

// What a look into the folder found: the takes to offer, and the journals
// that were no recording and were renamed aside (their new names).
struct LeftJournals {
    std::vector<LeftTake> takes; // newest first
    std::vector<std::string> damaged;
};

enum class JournalFault { NotWritten, NotRemoved };

// Removes a journal's file; true when it is gone.
bool RemoveJournal(const std::string &path);

// Looks for journals left by programs that have ended. A journal whose lock
// is held, or that this program writes, is passed over; an empty one is
// removed (it holds nothing to lose).
LeftJournals FindLeftJournals(const std::string &folder);

class TakeJournal {
public:
    // `failed` is told, on the writer's thread, when the journal cannot be
    // written (once per take; the take goes on in memory) or cannot be
    // removed (it is then offered at the next start).
    using Failed = std::function<void(JournalFault fault, const std::string &path)>;
    // Runs on the writer's thread before each write; for tests, which let
    // a write fail as on a full disk by answering false.
    using WriteHook = std::function<bool(const std::string &path)>;

    TakeJournal(std::string folder, common::SerialWorker &worker, Failed failed);
    // A take still journalled is sealed and kept: it was not saved.
    ~TakeJournal();

    TakeJournal(const TakeJournal &) = delete;
    TakeJournal &operator=(const TakeJournal &) = delete;

    // A new take starts: the journal of the one before goes (it was saved or
    // given up before a new one could start); the new journal's file is made
    // at the first record.
    void Begin();
    // The take has grown: what it gained goes to the journal. Nothing while
    // no take is being journalled.
    void Follow(const RecordingStream &take);
    // The recording has ended: what is left is written and made durable; the
    // file stays, since the take is not saved.
    void Seal(const RecordingStream &take);
    // The take has been saved or given up: its journal goes.
    void Remove();
    // A take left by an ended program becomes this program's current take:
    // its journal is now this program's, until the take is saved or given
    // up.
    void Adopt(LeftTake &&take);

    // The current journal's file; empty when there is none.
    std::string Path() const;
    // Waits until what was handed over is in the file; for tests and
    // benchmarks (the window never waits for the disk).
    bool Settle(std::chrono::milliseconds bound);

    static void SetWriteHook(WriteHook hook);

private:
    struct File;

    std::string NewName();

    std::string folder_;
    common::SerialWorker &worker_;
    Failed failed_;
    std::shared_ptr<File> file_;
    // Bytes of the take already handed to the writer.
    std::size_t handed_ = 0;
    bool journalling_ = false;
};

} // namespace recorder
