#pragma once
// The main of the benchmarks that run the real main window: offscreen, no
// JACK server started on the program's behalf, errors on stderr instead of
// message boxes that would stop the measurement.

#include "app/ErrorHandler.h"
#include "bench_support.h"

#include <cstdio>
#include <cstdlib>

namespace bench_support {

inline int RunWindowBenchmarks(int argc, char **argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("JACK_NO_START_SERVER", "1", 1);
    app::SonoretApplication application(argc, argv);
    app::ErrorHandler::SetPresenter([](const QString &caption, const QString &text) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(caption), qPrintable(text));
    });
    return RunBenchmarks(argc, argv);
}

} // namespace bench_support
