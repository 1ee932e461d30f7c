#pragma once
// What a benchmark of the real program needs before it starts it: an X
// display and a JACK input port of its own that the program lists.

#include "e2e/E2eSupport.h"

#include <cstdio>

namespace bench_support {

// The program's index of `input`'s port; -1, with the reason printed, when
// the display or the port is missing.
inline int DeviceForProgram(const e2e::XvfbDisplay &display, const e2e::JackInput &input)
{
    if (!display.Failure().empty()) {
        std::fprintf(stderr, "no X display: %s\n", display.Failure().c_str());
        return -1;
    }
    const int device = e2e::DeviceIndexOf(input.PortName());
    if (device < 0)
        std::fprintf(stderr, "the program does not list %s (no JACK server?)\n", input.PortName().c_str());
    return device;
}

} // namespace bench_support
