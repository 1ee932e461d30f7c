#include "app/RecordingSaves.h"

#include "common/AtomicFileWriter.h"
#include "common/Guard.h"

#include <QEventLoop>
#include <QObject>

#include <algorithm>
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

// The way back to the window's thread, cut when the saves go away.
struct RecordingSaves::Link {
    std::mutex mutex;
    QObject *context = nullptr;
    RecordingSaves *saves = nullptr;
};

RecordingSaves::RecordingSaves(QObject &context, Finished onFinished)
    : link_(std::make_shared<Link>()), onFinished_(std::move(onFinished))
{
    link_->context = &context;
    link_->saves = this;
}

RecordingSaves::~RecordingSaves()
{
    GiveUpWaiting();
    const std::lock_guard lock(link_->mutex);
    link_->context = nullptr;
    link_->saves = nullptr;
}

void RecordingSaves::Start(std::string fileName, std::vector<std::uint8_t> bytes, std::uint64_t version)
{
    worker_.Hand([link = link_, fileName = std::move(fileName), bytes = std::move(bytes), version] {
        std::exception_ptr failure;
        try {
            if (Hook())
                Hook()(fileName);
            common::WriteWholeFile(fileName, bytes);
        } catch (...) {
            failure = std::current_exception();
        }
        // Posted under the lock: the saves cannot go away meanwhile, and a
        // result posted before they did is dropped with the context's events.
        const std::lock_guard lock(link->mutex);
        if (link->context)
            QMetaObject::invokeMethod(
                link->context,
                [saves = link->saves, version, failure]() noexcept { saves->Done(version, failure); },
                Qt::QueuedConnection);
    });
    ++underWay_;
}

void RecordingSaves::Done(std::uint64_t version, const std::exception_ptr &failure)
{
    --underWay_;
    common::RunGuarded([&] { onFinished_(version, failure); });
    for (QEventLoop *wait : waits_)
        wait->quit();
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
