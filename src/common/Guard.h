#pragma once
// Handlers that Qt calls (slots, event overrides, timer and idle handlers)
// must not let an exception unwind through Qt's own frames: its libraries are
// built without unwind tables, so their clean-up would never run. Each of our
// handlers therefore runs its body through RunGuarded or Guarded, which catch
// at that boundary and hand the error to the sink the application installed
// (the error handler that shows it). Connect signals with GuardedConnect from
// common/GuardedConnect.h.

#include <cstddef>
#include <functional>
#include <tuple>
#include <type_traits>
#include <utility>

namespace common {

// Called inside a catch block; it may rethrow to look at the exception.
using ErrorSink = void (*)();

// Installed once by the application; none: the error goes to stderr.
void SetErrorSink(ErrorSink sink) noexcept;

// Hands the exception in flight to the sink. Never throws. Call only from a
// catch block.
void ReportCurrentException() noexcept;

// Errors handed on since the program started. Code that fires a signal can
// tell by it whether a slot it reached failed.
unsigned long HandledErrorCount() noexcept;

// Runs `action` now; an exception it raises goes to the sink. False when it
// raised one.
template <class Action>
bool RunGuarded(Action &&action) noexcept
{
    try {
        std::forward<Action>(action)();
        return true;
    } catch (...) {
        ReportCurrentException();
        return false;
    }
}

namespace detail {

template <class Fn, class Tuple, std::size_t... I>
constexpr bool InvocableWithIndices(std::index_sequence<I...>)
{
    return std::is_invocable_v<const Fn &, std::tuple_element_t<I, Tuple>...>;
}

// The largest n such that fn takes the first n arguments, as Qt does when a
// slot takes fewer arguments than its signal carries.
template <class Fn, class Tuple, std::size_t N>
constexpr std::size_t LeadingArity()
{
    if constexpr (InvocableWithIndices<Fn, Tuple>(std::make_index_sequence<N>{}))
        return N;
    else {
        static_assert(N > 0, "the handler cannot be called with the signal's arguments");
        return LeadingArity<Fn, Tuple, N - 1>();
    }
}

template <class Fn, class... Args>
void InvokeLeading(const Fn &fn, Args &&...args)
{
    using Tuple = std::tuple<Args &&...>;
    constexpr std::size_t n = LeadingArity<Fn, Tuple, sizeof...(Args)>();
    Tuple all(std::forward<Args>(args)...);
    [&]<std::size_t... I>(std::index_sequence<I...>) {
        std::invoke(fn, std::get<I>(std::move(all))...);
    }(std::make_index_sequence<n>{});
}

} // namespace detail

// A handler that never lets an exception out: calls `fn` with as many of its
// own arguments as `fn` takes, and hands a failure to the sink.
template <class Fn>
auto Guarded(Fn fn)
{
    return [fn = std::move(fn)](auto &&...args) noexcept -> void {
        RunGuarded([&] { detail::InvokeLeading(fn, std::forward<decltype(args)>(args)...); });
    };
}

} // namespace common
