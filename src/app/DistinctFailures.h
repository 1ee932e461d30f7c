#pragma once
// A sequence that goes on past a failing step (start-up applying the stored
// state, a device change ending what sounds): every step runs, and each
// distinct failure is shown once at the end.

#include "common/Guard.h"

#include <exception>
#include <string>
#include <utility>
#include <vector>

namespace app {

class DistinctFailures {
public:
    // False when the step failed.
    template <class Step>
    bool Run(Step &&step)
    {
        try {
            step();
            return true;
        } catch (const std::exception &error) {
            Keep(error.what());
        } catch (...) {
            Keep(nullptr);
        }
        return false;
    }

    void Report() const
    {
        for (const auto &[exception, text] : kept_)
            common::RunGuarded([&exception = exception] { std::rethrow_exception(exception); });
    }

private:
    void Keep(const char *text)
    {
        const std::string key = text ? text : std::string();
        for (const auto &entry : kept_)
            if (entry.second == key)
                return;
        kept_.emplace_back(std::current_exception(), key);
    }

    std::vector<std::pair<std::exception_ptr, std::string>> kept_;
};

} // namespace app
