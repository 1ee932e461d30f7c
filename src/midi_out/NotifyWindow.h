#pragma once
// The hidden receiver of what the driver callback posts. Posting may happen on
// any thread and must neither allocate nor lock, so messages go through a
// fixed-size lock-free queue and an eventfd wakes the main thread, which hands
// them to the handler in posting order.

#include <QObject>

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>

class QSocketNotifier;

namespace midi_out {

class MidiBackend;

struct NotifyMessage {
    std::uint32_t message = 0;
    std::uintptr_t param1 = 0;
    std::uintptr_t param2 = 0;
};

class NotifyWindow : public QObject {
    Q_OBJECT
public:
    using Handler = std::function<void(const NotifyMessage &)>;
    static constexpr std::size_t Capacity = 256;

    // `backend` carries the post operation the driver callback uses.
    NotifyWindow(MidiBackend *backend, Handler handler, QObject *parent = nullptr);
    ~NotifyWindow() override;

    MidiBackend *Backend() const { return backend_; }

    // Queues one message for the main thread. Safe from any thread, never
    // allocates or locks; false when the queue is full (the message is lost).
    bool Enqueue(std::uint32_t message, std::uintptr_t param1, std::uintptr_t param2) noexcept;

    // Hands every queued message to the handler now (main thread only).
    void Drain();

private:
    struct Cell {
        std::atomic<std::size_t> sequence;
        NotifyMessage message;
    };

    MidiBackend *backend_;
    Handler handler_;
    int eventFd_ = -1;
    QSocketNotifier *notifier_ = nullptr;
    std::array<Cell, Capacity> cells_;
    alignas(64) std::atomic<std::size_t> enqueuePos_{0};
    alignas(64) std::atomic<std::size_t> dequeuePos_{0};
};

} // namespace midi_out
