#pragma once
// Waiting on what arrives through a real event loop (notices posted from
// other threads and delivered through the notification window's socket).

#include <QCoreApplication>
#include <QElapsedTimer>

#include <functional>

namespace testing_support {

// Runs the event loop until `done` or a generous deadline.
inline void ProcessEventsUntil(const std::function<bool()> &done, int deadlineMs = 5000)
{
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < deadlineMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

} // namespace testing_support
