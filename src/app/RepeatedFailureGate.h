#pragma once
// A handler that keeps failing in the same way (a timer, the PC keyboard's
// pass) must not bury the window in message boxes: the failure is shown
// once, and shown again only after the user has acted (chosen a device,
// pressed a transport button, toggled the drums), after the device took a
// message, or when it fails in another way. The handler keeps running
// meanwhile, so a device that comes back sounds again by itself.

#include "common/Guard.h"

#include <exception>
#include <optional>
#include <string>

namespace app {

class RepeatedFailureGate {
public:
    // Runs `action`; never throws. False when it failed.
    template <class Action>
    bool Run(Action &&action) noexcept
    {
        try {
            action();
            return true;
        } catch (...) {
            const std::string text = CurrentText();
            if (shown_ && *shown_ == text)
                return false; // shown already, and the user has not acted since
            shown_ = text;
            common::ReportCurrentException();
            return false;
        }
    }

    // The user acted: the next failure is shown again.
    void Rearm() noexcept { shown_.reset(); }
    // The failure of this text was told another way: it counts as shown.
    void MarkShown(std::string text) noexcept { shown_ = std::move(text); }

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
