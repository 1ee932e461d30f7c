#pragma once
// Runs jobs one after the other, in the order they were handed over, on a
// thread of its own, so that the window's thread never waits on a disk. The
// thread runs only while there is work, so none is left waiting in a process
// that forks (a test's child). Jobs own what they need: a job stuck on a disk
// must not keep the program from ending, so nobody waits for the thread to
// finish and it ends with the process.

#include <chrono>
#include <exception>
#include <functional>
#include <memory>
#include <string>

namespace common {

class SerialWorker {
public:
    // A job catches its own failures and hands them on as values.
    using Job = std::function<void()>;

    SerialWorker();
    // Does not wait: jobs still under way finish on their own thread.
    ~SerialWorker();

    SerialWorker(const SerialWorker &) = delete;
    SerialWorker &operator=(const SerialWorker &) = delete;

    // Runs `job` after every job handed over before it; returns at once.
    void Hand(Job job);

    // Waits until every job handed over has run; false when the bound
    // passed first.
    bool Flush(std::chrono::milliseconds bound);

private:
    struct State;
    static void Run(std::shared_ptr<State> state);

    // Shared with the thread, which may outlive this object at exit.
    std::shared_ptr<State> state_;
};

// The text of a failure carried as a value; empty for one without text.
std::string TextOf(const std::exception_ptr &failure);

} // namespace common
