#include "common/WindowWake.h"

#include "common/GuardedConnect.h"

#include <QSocketNotifier>

#include <stdexcept>
#include <sys/eventfd.h>
#include <unistd.h>

namespace common {

WindowWake::WindowWake(Handler handler, QObject *parent)
    : QObject(parent), handler_(std::move(handler))
{
    for (std::size_t i = 0; i < Capacity; ++i)
        cells_[i].sequence.store(i, std::memory_order_relaxed);
    eventFd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (eventFd_ < 0)
        throw std::runtime_error("Das Benachrichtigungsfenster des MIDI-Geräts kann nicht erstellt werden");
    notifier_ = new QSocketNotifier(eventFd_, QSocketNotifier::Read, this);
    common::GuardedConnect(notifier_, &QSocketNotifier::activated, this, [this] {
        std::uint64_t count;
        [[maybe_unused]] const ssize_t n = ::read(eventFd_, &count, sizeof count);
        // After a handler's error the remaining messages are still delivered.
        while (!common::RunGuarded([this] { Drain(); })) {
        }
    });
}

WindowWake::~WindowWake()
{
    delete notifier_;
    if (eventFd_ >= 0)
        ::close(eventFd_);
}

// A bounded multi-producer queue after Dmitry Vyukov's design: each cell's
// sequence number tells producers and the consumer whose turn it is, so no
// lock is needed and nothing is allocated after construction.
bool WindowWake::Enqueue(std::uint32_t message, std::uintptr_t param1, std::uintptr_t param2) noexcept
{
    std::size_t pos = enqueuePos_.load(std::memory_order_relaxed);
    Cell *cell;
    for (;;) {
        cell = &cells_[pos % Capacity];
        const std::size_t seq = cell->sequence.load(std::memory_order_acquire);
        const auto diff = static_cast<std::intptr_t>(seq) - static_cast<std::intptr_t>(pos);
        if (diff == 0) {
            if (enqueuePos_.compare_exchange_weak(pos, pos + 1, std::memory_order_relaxed))
                break;
        } else if (diff < 0) {
            return false; // full
        } else {
            pos = enqueuePos_.load(std::memory_order_relaxed);
        }
    }
    cell->message = WakeMessage{message, param1, param2};
    cell->sequence.store(pos + 1, std::memory_order_release);
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(eventFd_, &one, sizeof one);
    return true;
}

void WindowWake::Drain()
{
    for (;;) {
        const std::size_t pos = dequeuePos_.load(std::memory_order_relaxed);
        Cell &cell = cells_[pos % Capacity];
        const std::size_t seq = cell.sequence.load(std::memory_order_acquire);
        if (static_cast<std::intptr_t>(seq) - static_cast<std::intptr_t>(pos + 1) < 0)
            return; // empty
        const WakeMessage message = cell.message;
        dequeuePos_.store(pos + 1, std::memory_order_relaxed);
        cell.sequence.store(pos + Capacity, std::memory_order_release);
        if (handler_)
            handler_(message);
    }
}

} // namespace common
