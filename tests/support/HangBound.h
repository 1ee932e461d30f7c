#pragma once
// How long a call may take before a test calls it hung. A hang is tested
// with an input that never ends (a frozen server, a pipe nobody writes), so
// the bound sits far above any correct run on a loaded machine, sanitizers
// included, and well below ctest's timeout. Speed is measured in bench/.

#include <chrono>

namespace testing_support {

inline constexpr std::chrono::seconds kHangBound{30};

} // namespace testing_support
