#pragma once
// The main of the benchmarks that run the real main window: offscreen, no
// JACK server started on the program's behalf, errors on stderr instead of
// message boxes that would stop the measurement.

#include "app/ErrorHandler.h"
#include "bench_support.h"

#include <QString>
#include <QtGlobal>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace bench_support {

inline int RunWindowBenchmarks(int argc, char **argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("JACK_NO_START_SERVER", "1", 1);
    // The takes' journals go to a folder of this run's own, never the user's.
    char state[] = "/tmp/sonoret-bench-state-XXXXXX";
    if (::mkdtemp(state) != nullptr)
        setenv("XDG_STATE_HOME", state, 1);
    app::SonoretApplication application(argc, argv);
    app::ErrorHandler::SetPresenter([](const QString &caption, const QString &text) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(caption), qPrintable(text));
    });
    const int result = RunBenchmarks(argc, argv);
    std::error_code ignored;
    std::filesystem::remove_all(state, ignored);
    return result;
}

// The offscreen platform warns on every window shown; that is not news here.
inline void QuietMessages(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (!message.contains(QStringLiteral("propagateSizeHints")))
        std::fprintf(stderr, "%d: %s\n", int(type), qPrintable(message));
}

// As RunWindowBenchmarks, with the built-in synthesizer rendering into the
// file `wav` instead of a sound card and the offscreen warnings left out.
inline int RunWindowBenchmarksRenderingTo(const QString &wav, int argc, char **argv)
{
    qInstallMessageHandler(QuietMessages);
    setenv("MIDI_SONORET_AUDIO_DRIVER", "file", 0);
    setenv("MIDI_SONORET_AUDIO_FILE", wav.toLocal8Bit().constData(), 0);
    return RunWindowBenchmarks(argc, argv);
}

} // namespace bench_support
