#pragma once
// Reports finished long messages to the driver callback from a thread of the
// back end's own, never from the caller's: the caller may hold locks or be the
// main thread, and the callback only posts. A report is made once the back
// end says the bytes have been handed on; reports keep their queueing order.

#include "midi_out/MidiDefs.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace midi_out {

class CompletionThread {
public:
    enum class Progress { Waiting, HandedOn, Lost };
    // Where the bytes of one message stand. Called on the thread, often,
    // under the thread's lock: DropAll waits for a call under way.
    using Check = std::function<Progress()>;

    CompletionThread() = default;
    // Stops the thread; what is not reported by then never is.
    ~CompletionThread();
    CompletionThread(const CompletionThread &) = delete;
    CompletionThread &operator=(const CompletionThread &) = delete;

    // Marks `header` done and reports MOM_DONE for it once `check` says so
    // (at once without a check); dropped unreported if it says Lost.
    void Queue(DeviceHandle handle, MIDIHDR *header, DriverCallbackProc callback, std::uintptr_t instance,
               Check check = nullptr);
    // Returns once every report for `handle` is made, or after `limit`,
    // dropping what still waits. No report for `handle` comes afterwards.
    void Finish(DeviceHandle handle, std::chrono::milliseconds limit);
    // Drops every report not yet made and waits for one under way; the check
    // is not called again until something new is queued.
    void DropAll();

private:
    struct Entry {
        DeviceHandle handle;
        MIDIHDR *header;
        DriverCallbackProc callback;
        std::uintptr_t instance;
        Check check;
    };
    void Run();
    bool HasWork(DeviceHandle handle) const;

    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Entry> queue_;
    DeviceHandle reporting_ = 0; // the handle whose report is being made now
    bool stop_ = false;
    std::thread thread_;
};

} // namespace midi_out
