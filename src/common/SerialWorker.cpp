#include "common/SerialWorker.h"

#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

namespace common {

struct SerialWorker::State {
    std::mutex mutex;
    std::condition_variable settled; // nothing left to run
    std::deque<Job> queued;
    bool running = false; // a thread is at work
};

SerialWorker::SerialWorker() : state_(std::make_shared<State>()) {}

SerialWorker::~SerialWorker() = default;

void SerialWorker::Hand(Job job)
{
    const std::lock_guard lock(state_->mutex);
    state_->queued.push_back(std::move(job));
    if (!state_->running) {
        std::thread(Run, state_).detach();
        state_->running = true;
    }
}

bool SerialWorker::Flush(std::chrono::milliseconds bound)
{
    std::unique_lock lock(state_->mutex);
    return state_->settled.wait_for(lock, bound, [&] { return !state_->running; });
}

void SerialWorker::Run(std::shared_ptr<State> state)
{
    std::unique_lock lock(state->mutex);
    while (!state->queued.empty()) {
        Job job = std::move(state->queued.front());
        state->queued.pop_front();
        lock.unlock();
        job();
        job = nullptr; // what it holds goes before the next one starts
        lock.lock();
    }
    state->running = false;
    state->settled.notify_all();
}

std::string TextOf(const std::exception_ptr &failure)
{
    try {
        std::rethrow_exception(failure);
    } catch (const std::exception &error) {
        return error.what();
    } catch (...) {
        return {};
    }
}

} // namespace common
