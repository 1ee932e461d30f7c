// Both programs answer --help and --version as GNU and Qt programs do, and
// refuse an option they do not know, without a window or a file touched:
// with X11 asked for and no display, where making a window would abort.

#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <string>

namespace {

struct Answer {
    int status = -1;
    std::string out;
    std::string err;
};

Answer RunProgram(const std::string &command, const testfiles::TempDir &dir)
{
    const std::string err = dir.File("stderr.txt");
    // No display: none is needed. The German interface.
    std::FILE *pipe = ::popen(("env -u DISPLAY -u WAYLAND_DISPLAY LC_ALL=C.UTF-8 MIDI_SONORET_LANGUAGE=de QT_QPA_PLATFORM=xcb "
                               "XDG_RUNTIME_DIR=" + dir.Path().string() + " " + command + " 2>" + err).c_str(), "r");
    Answer answer;
    char buffer[4096];
    while (const std::size_t got = std::fread(buffer, 1, sizeof buffer, pipe))
        answer.out.append(buffer, got);
    const int status = ::pclose(pipe);
    answer.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    const auto bytes = testfiles::ReadBytes(err);
    answer.err.assign(bytes.begin(), bytes.end());
    return answer;
}

TEST(ProgramOptions, BothProgramsAnswerHelpAndVersionAndRefuseUnknownOptions)
{
    testfiles::TempDir dir;
    for (const std::string program : {"midi-sonoret", "midi-sonoret-convert"}) {
        const std::string path =
            std::string(SONORET_BINARY_DIR) + (program == "midi-sonoret" ? "/src/app/" : "/src/files/") + program;
        const struct {
            const char *arguments;
            int status;
            std::string out;    // its start
            std::string err;
        } cases[] = {
            {"--version", 0, program + " " SONORET_VERSION "\n", ""},
            {"-v", 0, program + " " SONORET_VERSION "\n", ""},
            {"--help", 0, "Aufruf: " + program + " ", ""},
            {"-h x.vsq", 0, "Aufruf: " + program + " ", ""},
            {"--bogus x.vsq", 2, "", program + ": unbekannte Option --bogus\nMehr mit --help.\n"},
        };
        for (const auto &c : cases) {
            SCOPED_TRACE(program + " " + c.arguments);
            const Answer answer = RunProgram(path + " " + c.arguments, dir);
            EXPECT_EQ(answer.status, c.status) << answer.err;
            EXPECT_TRUE(answer.out.starts_with(c.out)) << answer.out;
            EXPECT_EQ(answer.err, c.err);
        }
    }
    // Qt's own options pass with their values; what comes after them is still read.
    const Answer qt = RunProgram(std::string(SONORET_BINARY_DIR) + "/src/app/midi-sonoret -style=Fusion -platform xcb "
                                 "-display :0 --bogus -reverse", dir);
    EXPECT_EQ(qt.status, 2);
    EXPECT_EQ(qt.err, "midi-sonoret: unbekannte Option --bogus\nMehr mit --help.\n");
}

} // namespace
