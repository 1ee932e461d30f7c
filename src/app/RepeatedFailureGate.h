#pragma once
// A timer's handler that keeps failing in the same way must not bury the
// window in message boxes: the failure is shown once, and shown again only
// after the user has acted (chosen a device, pressed a transport button,
// toggled the drums) or when it fails in another way. The timer keeps
// running meanwhile, so a device that comes back sounds again by itself.

#include "common/Guard.h"

#include <exception>
#include <optional>
#include <string>

namespace app {

class RepeatedFailureGate {
public:
    // Runs `action`; never throws.
    template <class Action>
    void Run(Action &&action) noexcept
    {
        try {
            action();
        } catch (...) {
            const std::string text = CurrentText();
            if (shown_ && *shown_ == text)
                return; // shown already, and the user has not acted since
            shown_ = text;
            common::ReportCurrentException();
        }
    }

    // The user acted: the next failure is shown again.
    void Rearm() noexcept { shown_.reset(); }

private:
    static std::string CurrentText() noexcept
    {
        try {
            throw;
        } catch (const std::exception &error) {
            return error.what();
        } catch (...) {
            return {};
        }
    }

    std::optional<std::string> shown_;
};

} // namespace app
