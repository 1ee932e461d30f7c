#pragma once
// Connects a signal to a handler through the guard of common/Guard.h, so that
// no exception from the handler reaches the code that emitted the signal.
//   GuardedConnect(button, &QToolButton::clicked, this, &TForm1::RecordClick);
//   GuardedConnect(timer, &QTimer::timeout, this, [this] { Tick(); });
// Like QObject::connect, a handler may take fewer arguments than the signal.

#include "common/Guard.h"

#include <QObject>

#include <functional>
#include <type_traits>
#include <utility>

namespace common {

template <class Sender, class Signal, class Receiver, class Handler>
QMetaObject::Connection GuardedConnect(const Sender *sender, Signal signal,
                                       Receiver *receiver, Handler handler,
                                       Qt::ConnectionType type = Qt::AutoConnection)
{
    static_assert(std::is_base_of_v<QObject, Receiver>, "the receiver must be a QObject");
    if constexpr (std::is_member_function_pointer_v<Handler>) {
        auto bound = [object = receiver, handler](auto &&...args)
            -> decltype(std::invoke(handler, std::declval<Receiver *>(),
                                    std::forward<decltype(args)>(args)...)) {
            return std::invoke(handler, object, std::forward<decltype(args)>(args)...);
        };
        return QObject::connect(sender, signal, receiver, Guarded(std::move(bound)), type);
    } else {
        return QObject::connect(sender, signal, receiver, Guarded(std::move(handler)), type);
    }
}

} // namespace common
