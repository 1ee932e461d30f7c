#include "midi_out/CompletionThread.h"

#include "midi_out/MidiBackend.h"

#include <algorithm>

namespace midi_out {

namespace {
// How often a waiting report looks again whether its bytes went out: well
// below a JACK period.
constexpr auto PollInterval = std::chrono::microseconds(500);
} // namespace

CompletionThread::~CompletionThread()
{
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
        queue_.clear();
    }
    changed_.notify_all();
    if (thread_.joinable())
        thread_.join();
}

void CompletionThread::Queue(DeviceHandle handle, MIDIHDR *header, DriverCallbackProc callback,
                             std::uintptr_t instance, Check check)
{
    {
        std::lock_guard lock(mutex_);
        queue_.push_back({handle, header, callback, instance, std::move(check)});
        // Started at the first long message: most devices never send one.
        if (!thread_.joinable())
            thread_ = std::thread([this] { Run(); });
    }
    changed_.notify_all();
}

bool CompletionThread::HasWork(DeviceHandle handle) const
{
    return reporting_ == handle ||
           std::any_of(queue_.begin(), queue_.end(), [handle](const Entry &e) { return e.handle == handle; });
}

void CompletionThread::Finish(DeviceHandle handle, std::chrono::milliseconds limit)
{
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, limit, [&] { return !HasWork(handle); });
    // A report under way is let finish: its callback may still be running.
    changed_.wait(lock, [&] { return reporting_ != handle; });
    std::erase_if(queue_, [handle](const Entry &e) { return e.handle == handle; });
}

void CompletionThread::DropAll()
{
    std::unique_lock lock(mutex_);
    queue_.clear();
    changed_.wait(lock, [&] { return reporting_ == 0; });
}

void CompletionThread::Run()
{
    std::unique_lock lock(mutex_);
    while (!stop_) {
        if (queue_.empty()) {
            changed_.wait(lock);
            continue;
        }
        const Entry &front = queue_.front();
        const Progress progress = front.check ? front.check() : Progress::HandedOn;
        if (progress == Progress::Waiting) {
            changed_.wait_for(lock, PollInterval);
            continue;
        }
        const Entry entry = std::move(queue_.front());
        queue_.pop_front();
        if (progress == Progress::HandedOn) {
            reporting_ = entry.handle;
            lock.unlock();
            MidiBackend::MarkDone(entry.header);
            if (entry.callback != nullptr)
                entry.callback(entry.handle, MOM_DONE, entry.instance,
                               reinterpret_cast<std::uintptr_t>(entry.header), 0);
            lock.lock();
            reporting_ = 0;
        }
        changed_.notify_all();
    }
}

} // namespace midi_out
