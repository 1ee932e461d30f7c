#include "app/RecordingSaves.h"

#include "common/AtomicFileWriter.h"
#include "common/Guard.h"
#include "common/WindowWake.h"

#include <QEventLoop>

#include <algorithm>
#include <deque>
#include <mutex>
#include <utility>

namespace app {

namespace {
RecordingSaves::WriteHook &Hook()
{
    static RecordingSaves::WriteHook hook;
    return hook;
}
} // namespace

// The way back to the window's thread, cut when the saves go away: the
// results, and the wake-up of the window's thread, which neither allocates
// nor posts through Qt.
struct RecordingSaves::Link {
    struct Result {
        std::uint64_t version = 0;
        std::exception_ptr failure;
        std::function<void(std::exception_ptr)> done; // none: the take's save
    };
    std::mutex mutex;
    std::deque<Result> results;
    std::deque<std::function<void()>> calls;
    common::WindowWake *wake = nullptr;
};

RecordingSaves::RecordingSaves(Finished onFinished)
    : link_(std::make_shared<Link>()),
      wake_(std::make_unique<common::WindowWake>([this](const common::WakeMessage &) { Deliver(); })),
      onFinished_(std::move(onFinished))
{
    link_->wake = wake_.get();
}

RecordingSaves::~RecordingSaves()
{
    GiveUpWaiting();
    const std::lock_guard lock(link_->mutex);
    link_->wake = nullptr;
}

void RecordingSaves::Start(std::string fileName, std::vector<std::uint8_t> bytes, std::uint64_t version)
{
    Write(std::move(fileName), std::move(bytes), version, {});
}

void RecordingSaves::StartOther(std::string fileName, std::vector<std::uint8_t> bytes,
                                std::function<void(std::exception_ptr failure)> done)
{
    Write(std::move(fileName), std::move(bytes), 0, std::move(done));
}

void RecordingSaves::Write(std::string fileName, std::vector<std::uint8_t> bytes, std::uint64_t version,
                           std::function<void(std::exception_ptr)> done)
{
    Queue(
        [fileName = std::move(fileName), bytes = std::move(bytes)] {
            if (Hook())
                Hook()(fileName);
            common::WriteWholeFile(fileName, bytes);
        },
        version, std::move(done));
}

void RecordingSaves::StartMade(std::string fileName, std::function<void()> write,
                               std::function<void(std::exception_ptr failure)> done)
{
    Queue(
        [fileName = std::move(fileName), write = std::move(write)] {
            if (Hook())
                Hook()(fileName);
            write();
        },
        0, std::move(done));
}

void RecordingSaves::Read(std::function<void()> work, std::function<void(std::exception_ptr failure)> done)
{
    Queue(std::move(work), 0, std::move(done));
}

void RecordingSaves::Queue(std::function<void()> work, std::uint64_t version,
                           std::function<void(std::exception_ptr)> done)
{
    worker_.Hand([link = link_, work = std::move(work), version, done = std::move(done)]() mutable {
        std::exception_ptr failure;
        try {
            work();
        } catch (...) {
            failure = std::current_exception();
        }
        // Woken under the lock: the saves cannot go away meanwhile. A full
        // queue of wake-ups already has one on its way.
        const std::lock_guard lock(link->mutex);
        link->results.push_back({version, failure, std::move(done)});
        if (link->wake)
            link->wake->Enqueue(0, 0, 0);
    });
    ++underWay_;
}

RecordingSaves::Poster RecordingSaves::WindowPoster() const
{
    return [link = link_](std::function<void()> call) {
        const std::lock_guard lock(link->mutex);
        if (!link->wake)
            return;
        link->calls.push_back(std::move(call));
        link->wake->Enqueue(0, 0, 0);
    };
}

void RecordingSaves::Deliver()
{
    for (;;) {
        Link::Result result;
        {
            const std::lock_guard lock(link_->mutex);
            if (link_->results.empty())
                break;
            result = std::move(link_->results.front());
            link_->results.pop_front();
        }
        --underWay_;
        if (result.done)
            common::RunGuarded([&] { result.done(result.failure); });
        else
            common::RunGuarded([&] { onFinished_(result.version, result.failure); });
    }
    for (;;) {
        std::function<void()> call;
        {
            const std::lock_guard lock(link_->mutex);
            if (link_->calls.empty())
                break;
            call = std::move(link_->calls.front());
            link_->calls.pop_front();
        }
        common::RunGuarded(call);
    }
    for (QEventLoop *wait : waits_)
        wait->quit();
}

bool RecordingSaves::Flush(std::chrono::milliseconds bound)
{
    const bool done = worker_.Flush(bound);
    Deliver();
    return done;
}

bool RecordingSaves::WaitUntilDone()
{
    while (underWay_ > 0 && !gaveUp_) {
        QEventLoop loop;
        waits_.push_back(&loop);
        const int ended = loop.exec();
        waits_.erase(std::find(waits_.begin(), waits_.end(), &loop));
        // The application is quitting: every loop of the thread now ends at once.
        if (ended < 0)
            break;
    }
    return underWay_ == 0;
}

void RecordingSaves::GiveUpWaiting()
{
    gaveUp_ = true;
    for (QEventLoop *wait : waits_)
        wait->quit();
}

void RecordingSaves::SetWriteHook(WriteHook hook) { Hook() = std::move(hook); }

} // namespace app
