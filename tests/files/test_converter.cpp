#include "common/Messages.h"
#include "files/MidiExport.h"
#include "files/SoundTextImport.h"
#include "support/TestFiles.h"
#include "support/OrdinaryUser.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using Bytes = std::vector<std::uint8_t>;
using recorder::RecordingStream;
using testfiles::ReadBytes;
using testfiles::TempDir;

namespace {

const std::string kConverter = SONORET_BINARY_DIR "/src/files/midi-sonoret-convert";

struct RunResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

std::string ReadText(const std::string &fileName)
{
    const Bytes bytes = ReadBytes(fileName);
    return {bytes.begin(), bytes.end()};
}

class ConverterTest : public ::testing::Test {
protected:
    // Runs the converter with the arguments; with fileSizeLimit > 0 every
    // write beyond that many bytes fails, as on a full disk (the signal the
    // system sends then ignored, unless signalAtLimit); with memoryLimit > 0
    // the process gets no more address space than that.
    RunResult Run(const std::vector<std::string> &arguments, rlim_t fileSizeLimit = 0,
                  bool signalAtLimit = false, rlim_t memoryLimit = 0,
                  const std::vector<std::pair<const char *, const char *>> &environment = {})
    {
        const std::string outFile = dir.File("stdout.txt");
        const std::string errFile = dir.File("stderr.txt");
        const pid_t child = ::fork();
        if (child == 0) {
            const int out = ::open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            const int err = ::open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            ::dup2(out, 1);
            ::dup2(err, 2);
            if (fileSizeLimit > 0) {
                std::signal(SIGXFSZ, signalAtLimit ? SIG_DFL : SIG_IGN);
                rlimit limit{};
                ::getrlimit(RLIMIT_FSIZE, &limit);
                limit.rlim_cur = fileSizeLimit;
                ::setrlimit(RLIMIT_FSIZE, &limit);
            }
            if (memoryLimit > 0) {
                rlimit limit{};
                ::getrlimit(RLIMIT_AS, &limit);
                limit.rlim_cur = memoryLimit;
                ::setrlimit(RLIMIT_AS, &limit);
            }
            for (const auto &[name, value] : environment)
                value ? ::setenv(name, value, 1) : ::unsetenv(name);
            std::vector<char *> argv{const_cast<char *>(kConverter.c_str())};
            for (const auto &argument : arguments)
                argv.push_back(const_cast<char *>(argument.c_str()));
            argv.push_back(nullptr);
            ::execv(kConverter.c_str(), argv.data());
            ::_exit(127);
        }
        RunResult result;
        int status = 0;
        if (child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status))
            result.exitCode = WEXITSTATUS(status);
        result.out = ReadText(outFile);
        result.err = ReadText(errFile);
        std::filesystem::remove(outFile);
        std::filesystem::remove(errFile);
        return result;
    }

    void ExpectFailure(const std::vector<std::string> &arguments, const std::string &message)
    {
        const RunResult result = Run(arguments);
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_EQ(result.err, message + "\n");
        EXPECT_EQ(result.out, "");
    }

    std::string Tones()
    {
        const std::string name = dir.File("tones.vnx");
        testfiles::WriteText(name, "262\r\n400\r\n50000\r\n0\r\n100\r\n\r\n440\r\n250\r\n65535\r\n");
        return name;
    }

    TempDir dir;
};

} // namespace

TEST_F(ConverterTest, SoundTextToNativeAndMidiFile)
{
    const std::string tones = Tones();
    RecordingStream imported;
    files::ImportSoundText(tones, imported);
    files::ExportMidiFile(dir.File("expected.mid"), imported);

    RunResult result = Run({tones, dir.File("tones.vsq")});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out + result.err, "") << "success prints nothing";
    EXPECT_EQ(ReadBytes(dir.File("tones.vsq")), imported.Bytes());

    result = Run({tones, dir.File("tones.mid")});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(ReadBytes(dir.File("tones.mid")), ReadBytes(dir.File("expected.mid")));
}

TEST_F(ConverterTest, NativeToMidiFileAndNativeCopy)
{
    const Bytes recording = {0, 0, 0, 0, 0xC0, 5, 0, 20, 0, 0, 0, 0x90, 60, 100, 30, 0, 0, 0, 0x80, 60, 0};
    testfiles::WriteBytes(dir.File("take.VSQ"), recording);

    RunResult result = Run({dir.File("take.VSQ"), dir.File("take.Midi")});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    const Bytes midi = ReadBytes(dir.File("take.Midi"));
    ASSERT_EQ(midi.size(), 52u);
    EXPECT_EQ(Bytes(midi.begin() + 37, midi.end() - 4),
              (Bytes{0x00, 0xC0, 0x05, 0x13, 0x90, 0x3C, 0x64, 0x0A, 0x80, 0x3C, 0x00}));

    result = Run({dir.File("take.VSQ"), dir.File("copy.vsqx")});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(ReadBytes(dir.File("copy.vsqx")), recording);

    // And back: the exported file converts to the recording it came from,
    // its tick 0 at tick 1 as the export placed it.
    result = Run({dir.File("take.Midi"), dir.File("back.vsq")});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.err, "");
    Bytes placed = recording;
    placed[0] = 1;
    EXPECT_EQ(ReadBytes(dir.File("back.vsq")), placed);
}

TEST_F(ConverterTest, RefusedFormatsNameTheirKey)
{
    testfiles::WriteText(dir.File("song.mid"), "MThd");
    const std::string tones = Tones();
    ExpectFailure({dir.File("song.mid"), dir.File("out.vsq")},
                  "Datei " + dir.File("song.mid") + " ist keine gültige MIDI-Datei.");
    ExpectFailure({tones, dir.File("out.vnx")}, "Das Dateiformat .VNX wird nicht unterstützt.");
    ExpectFailure({tones, dir.File("out.jpeg")}, "Das Dateiformat .JPE wird nicht unterstützt.");
    ExpectFailure({tones, dir.File("out")}, "Das Dateiformat  wird nicht unterstützt.");
    EXPECT_FALSE(std::filesystem::exists(dir.File("out.vsq")));
    EXPECT_FALSE(std::filesystem::exists(dir.File("out.vnx")));
    EXPECT_FALSE(std::filesystem::exists(dir.File("out")));
}

TEST_F(ConverterTest, UnreadableInputLeavesTheOutputAlone)
{
    const std::string output = dir.File("keep.mid");
    testfiles::WriteText(output, "keep me");

    ExpectFailure({dir.File("missing.vnx"), output},
                  "Datei " + dir.File("missing.vnx") + " kann nicht geöffnet werden");
    testfiles::WriteText(dir.File("bad.vnx"), "440\n500\nlaut\n");
    ExpectFailure({dir.File("bad.vnx"), output}, "'laut' ist kein gültiger Integerwert");
    testfiles::WriteText(dir.File("neg.vnx"), "-440\n500\n65535\n");
    ExpectFailure({dir.File("neg.vnx"), output}, "Ungültige Gleitkommaoperation");

    EXPECT_EQ(ReadText(output), "keep me");
}

TEST_F(ConverterTest, FailedWriteLeavesTheOutputAlone)
{
    std::string longText;
    for (int i = 0; i < 20000; ++i)
        longText += "440\n10\n65535\n";
    testfiles::WriteText(dir.File("long.vnx"), longText);
    const std::string output = dir.File("keep.vsq");
    testfiles::WriteText(output, "keep me");

    const RunResult result = Run({dir.File("long.vnx"), output}, 100000);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err, "Stream-Schreibfehler\n");
    EXPECT_EQ(ReadText(output), "keep me");

    ExpectFailure({dir.File("long.vnx"), dir.File("missing/out.mid")},
                  "Datei " + dir.File("missing/out.mid") + " kann nicht erstellt werden");
}

TEST_F(ConverterTest, AFileSizeLimitIsReportedAndLeavesNoUnfinishedFile)
{
    std::string longText;
    for (int i = 0; i < 20000; ++i)
        longText += "440\n10\n65535\n";
    testfiles::WriteText(dir.File("long.vnx"), longText);
    const std::string output = dir.File("keep.mid");
    testfiles::WriteText(output, "keep me");

    // The limit's signal, not ignored here, does not end the converter.
    const RunResult result = Run({dir.File("long.vnx"), output}, 100000, true);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err, "Stream-Schreibfehler\n");
    EXPECT_EQ(ReadText(output), "keep me");
    EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"keep.mid", "long.vnx"}));
}

TEST_F(ConverterTest, ARecordingTooLargeForMemoryIsReportedInGerman)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer's shadow memory alone exceeds the address-space limit";
#endif
    // A sparse file of 4 GiB against an address space of 512 MiB.
    const std::string huge = dir.File("huge.vsq");
    testfiles::WriteText(huge, "");
    std::filesystem::resize_file(huge, rlim_t{4} << 30);
    const RunResult result = Run({huge, dir.File("out.mid")}, 0, false, rlim_t{512} << 20);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err, std::string(common::OutOfMemoryText) + "\n");
    EXPECT_FALSE(std::filesystem::exists(dir.File("out.mid")));
}

TEST_F(ConverterTest, AReadOnlyOutputIsRefused)
{
    const std::string tones = Tones();
    testsupport::GiveToOrdinaryUser(dir.Path());
    testsupport::RunAsOrdinaryUser([&] {
        for (const std::string &output : {dir.File("locked.vsq"), dir.File("locked.mid")}) {
            testfiles::WriteText(output, "keep me");
            ::chmod(output.c_str(), 0444);
            ExpectFailure({tones, output}, "Datei " + output + " kann nicht erstellt werden");
            EXPECT_EQ(ReadText(output), "keep me");
        }
    });
}

TEST_F(ConverterTest, WrongArgumentCountShowsUsage)
{
    for (const auto &arguments : std::vector<std::vector<std::string>>{{}, {"a.vnx"}, {"a", "b", "c"}}) {
        const RunResult result = Run(arguments);
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_EQ(result.err.rfind("Aufruf: midi-sonoret-convert [--] EINGABE AUSGABE", 0), 0u) << result.err;
    }
}

// Names are taken as the bytes they are, also those that are not valid
// UTF-8 (Latin-1, as on older disks), and "--" is no name.
TEST_F(ConverterTest, Latin1NamesAreReadAndWritten)
{
    RecordingStream imported;
    files::ImportSoundText(Tones(), imported);
    const std::string tones = dir.File("T\xf6ne.vnx");
    std::filesystem::rename(Tones(), tones);
    const std::string native = dir.File("Aufnahme\xe9.vsq");

    RunResult result = Run({"--", tones, native});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(ReadBytes(native), imported.Bytes());
    result = Run({native, dir.File("Kopie\xe9.vsq")});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(ReadBytes(dir.File("Kopie\xe9.vsq")), imported.Bytes());
}

// The converter speaks the program's language: German with no language set,
// English for any language without a catalogue of its own, and whatever
// MIDI_SONORET_LANGUAGE says over the locale. The file name passes through.
TEST_F(ConverterTest, MessagesFollowTheLanguage)
{
    const std::string missing = dir.File("fehlt.vsq");
    const std::string german = "Datei " + missing + " kann nicht geöffnet werden\n";
    const std::string english = "Cannot open file " + missing + "\n";
    const struct {
        const char *lang;
        const char *override;
        const std::string &expected;
    } cases[] = {
        {nullptr, nullptr, german},          {"C", nullptr, german},
        {"POSIX", nullptr, german},          {"de_DE.UTF-8", nullptr, german},
        {"en_US.UTF-8", nullptr, english},   {"fr_FR.UTF-8", nullptr, english},
        {"en_GB.UTF-8", "de", german},       {"de_AT.UTF-8", "en", english},
    };
    for (const auto &c : cases) {
        const RunResult result = Run({missing, dir.File("out.mid")}, 0, false, 0,
                                     {{"LC_ALL", nullptr}, {"LC_MESSAGES", nullptr}, {"LANGUAGE", nullptr},
                                      {"LANG", c.lang}, {"MIDI_SONORET_LANGUAGE", c.override}});
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_EQ(result.err, c.expected) << (c.lang ? c.lang : "no LANG") << " " << (c.override ? c.override : "");
    }
}

// What an open left out is said in the language's plural forms.
TEST_F(ConverterTest, SkippedSystemExclusiveCountsReadRight)
{
    const auto song = [&](int messages) {
        Bytes track = {0x00, 0xF0, 0x05, 0x7E, 0x7F, 0x09, 0x01, 0xF7}; // GM System On: not counted
        for (int i = 0; i < messages; ++i)
            track.insert(track.end(), {0x00, 0xF0, 0x03, 0x7D, 0x01, 0xF7});
        track.insert(track.end(), {0x00, 0x90, 60, 1, 0x00, 0xFF, 0x2F, 0x00});
        Bytes file = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0, 10, 'M', 'T', 'r', 'k', 0, 0, 0,
                      std::uint8_t(track.size())};
        file.insert(file.end(), track.begin(), track.end());
        const std::string name = dir.File("song" + std::to_string(messages) + ".mid");
        testfiles::WriteBytes(name, file);
        return name;
    };
    const struct {
        const char *language;
        int messages;
        const char *said;
    } cases[] = {
        {"de", 1, "1 System-Exclusive-Meldung wurde übergangen.\n"},
        {"de", 3, "3 System-Exclusive-Meldungen wurden übergangen.\n"},
        {"en", 1, "1 System Exclusive message was skipped.\n"},
        {"en", 3, "3 System Exclusive messages were skipped.\n"},
        {"en", 0, ""},
    };
    for (const auto &c : cases) {
        const RunResult result = Run({song(c.messages), dir.File("song.vsq")}, 0, false, 0,
                                     {{"MIDI_SONORET_LANGUAGE", c.language}});
        EXPECT_EQ(result.exitCode, 0) << result.err;
        EXPECT_EQ(result.out + result.err, c.said) << c.language << " " << c.messages;
    }
}
