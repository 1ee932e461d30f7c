#pragma once
// The recording's saves: the file's bytes are made on the window's thread,
// from the take as it is at that moment, and written (temporary file, sync,
// rename) on a thread of their own, so that a slow or stalled disk never
// freezes the window. Saves are written one after the other in the order
// they were started; each result comes back to the window's thread.

#include "common/SerialWorker.h"

#include <chrono>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QEventLoop;

namespace common {
class WindowWake;
}

namespace app {

class RecordingSaves {
public:
    // Told on the window's thread when a save has ended: the take's version
    // it holds, and its failure (none when it is in the file).
    using Finished = std::function<void(std::uint64_t version, std::exception_ptr failure)>;
    // Runs on the writer's thread before a file is written; for tests, which
    // hold a save there or let it fail. Set it while no save is under way.
    using WriteHook = std::function<void(const std::string &fileName)>;

    explicit RecordingSaves(Finished onFinished);
    // Does not wait; a save still under way tells no one.
    ~RecordingSaves();

    RecordingSaves(const RecordingSaves &) = delete;
    RecordingSaves &operator=(const RecordingSaves &) = delete;

    void Start(std::string fileName, std::vector<std::uint8_t> bytes, std::uint64_t version);
    // A save of something other than the take: `done` is told its end
    // instead, on the window's thread.
    void StartOther(std::string fileName, std::vector<std::uint8_t> bytes,
                    std::function<void(std::exception_ptr failure)> done);

    // A save whose file is made on the writer's thread (a take rendered as
    // sound): `write` makes and writes it, `done` is told its end on the
    // window's thread.
    void StartMade(std::string fileName, std::function<void()> write, std::function<void(std::exception_ptr failure)> done);

    // A file read in the saves' order, off the window's thread: `work` runs
    // on the writer's thread, `done` on the window's; it counts as a save
    // under way until then.
    void Read(std::function<void()> work, std::function<void(std::exception_ptr failure)> done);

    // The thread the saves are written on, for other work on the disk that
    // the window must not wait for.
    common::SerialWorker &Worker() { return worker_; }
    // Hands a call to the window's thread, from any thread, as the saves'
    // results are; once the saves have gone it is dropped.
    using Poster = std::function<void(std::function<void()> call)>;
    Poster WindowPoster() const;

    // Saves started whose result has not yet been told.
    int UnderWay() const { return underWay_; }

    // Runs the event loop (the window goes on working) until no save is under
    // way; false when the waits were given up first.
    bool WaitUntilDone();
    // Ends every wait at once, for good: the program is quitting without
    // waiting for a disk that may never answer.
    void GiveUpWaiting();
    bool GaveUp() const { return gaveUp_; }

    // Blocks until every save has been written or has failed, and tells
    // their results; false when the bound passed first.
    bool Flush(std::chrono::milliseconds bound);

    static void SetWriteHook(WriteHook hook);

private:
    struct Link;

    void Write(std::string fileName, std::vector<std::uint8_t> bytes, std::uint64_t version,
               std::function<void(std::exception_ptr)> done);
    void Queue(std::function<void()> work, std::uint64_t version, std::function<void(std::exception_ptr)> done);
    // Tells the results that have come back, then runs the calls handed over.
    void Deliver();

    // Shared with the jobs, which may outlive this object.
    std::shared_ptr<Link> link_;
    std::unique_ptr<common::WindowWake> wake_;
    Finished onFinished_;
    int underWay_ = 0;
    bool gaveUp_ = false;
    std::vector<QEventLoop *> waits_;
    common::SerialWorker worker_;
};

} // namespace app
