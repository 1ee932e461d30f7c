#pragma once
// The window thread's wake-up for work done on other threads: a driver
// callback's notice, a save's result. Posting may happen on any thread and
// must neither allocate nor lock, so messages go through a fixed-size
// lock-free queue and an eventfd wakes the window's thread, which hands them
// to the handler in posting order.

#include <QObject>

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>

class QSocketNotifier;

namespace common {

struct WakeMessage {
    std::uint32_t message = 0;
    std::uintptr_t param1 = 0;
    std::uintptr_t param2 = 0;
};

class WindowWake : public QObject {
    Q_OBJECT
public:
    using Handler = std::function<void(const WakeMessage &)>;
    static constexpr std::size_t Capacity = 256;

    explicit WindowWake(Handler handler, QObject *parent = nullptr);
    ~WindowWake() override;

    // Queues one message for the window's thread. Safe from any thread, never
    // allocates or locks; false when the queue is full (the message is lost).
    bool Enqueue(std::uint32_t message, std::uintptr_t param1, std::uintptr_t param2) noexcept;

    // Hands every queued message to the handler now (window's thread only).
    void Drain();

private:
    struct Cell {
        std::atomic<std::size_t> sequence;
        WakeMessage message;
    };

    Handler handler_;
    int eventFd_ = -1;
    QSocketNotifier *notifier_ = nullptr;
    std::array<Cell, Capacity> cells_;
    alignas(64) std::atomic<std::size_t> enqueuePos_{0};
    alignas(64) std::atomic<std::size_t> dequeuePos_{0};
};

} // namespace common
