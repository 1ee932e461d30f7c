// Native files that are no fit recording, opened through the main window:
// from the menu's "Öffnen..." and as the file named on the command line. The
// window shows what the open command raises, does not hang, keeps the
// recording it had (a large file is taken whole, as the open command
// takes it) and goes on playing.

#include "FileWindow.h"

#include "support/TestFiles.h"
#include "support/OrdinaryUser.h"
#include "support/WindowProbe.h"

#include <QTest>
#include <QToolButton>

#include <filesystem>
#include <fstream>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using testing_support::Packed;

enum class Seen { ReadError, CannotOpen, Nothing };

struct HostileCase {
    const char *name;
    void (*make)(const std::string &path);
    Seen fromMenu;
    Seen fromCommandLine;
};

void Link(const char *target, const std::string &path) { std::filesystem::create_symlink(target, path); }

const HostileCase HostileCases[] = {
    // Even root cannot read it: its first bytes lie at an unmapped address.
    {"unlesbar.vsq", [](const std::string &path) { Link("/proc/self/mem", path); }, Seen::ReadError,
     Seen::ReadError},
    // A folder is no file: named on the command line, it is told as one that cannot be opened.
    {"ordner.vsq", [](const std::string &path) { std::filesystem::create_directory(path); }, Seen::CannotOpen,
     Seen::CannotOpen},
    {"rohr.vsq", [](const std::string &path) { ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0); }, Seen::CannotOpen,
     Seen::CannotOpen},
    {"null.vsq", [](const std::string &path) { Link("/dev/zero", path); }, Seen::CannotOpen, Seen::CannotOpen},
};

class HostileFileWindow : public testing_support::FileWindow {
protected:
    std::string Path(const char *name) const { return dir.filePath(QString::fromUtf8(name)).toStdString(); }

    // Ends an open that waits for a pipe's writer.
    static std::function<void()> Unblock(const std::string &path)
    {
        return [path] {
            const int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK);
            if (fd >= 0)
                ::close(fd);
        };
    }

    void ExpectSeen(Seen seen, const std::string &path)
    {
        switch (seen) {
        case Seen::ReadError:
            ExpectShownOnce(QStringLiteral("Stream-Lesefehler."));
            break;
        case Seen::CannotOpen:
            ExpectShownOnce(QStringLiteral("Datei %1 kann nicht geöffnet werden.").arg(QString::fromStdString(path)));
            break;
        case Seen::Nothing:
            EXPECT_TRUE(messages.empty());
            break;
        }
    }

    // The window still plays: a key clicked sends its note.
    void ExpectStillPlaying()
    {
        backend->ClearCalls();
        QTest::mousePress(Probe(*form).Key(24), Qt::LeftButton);
        QTest::mouseRelease(Probe(*form).Key(24), Qt::LeftButton);
        EXPECT_EQ(Sent(), (std::vector<std::uint32_t>{Packed(0x90, 60, 127), Packed(0x80, 60, 0)}));
    }

    static constexpr std::size_t large = std::size_t{64} << 20;
};

TEST_F(HostileFileWindow, OpenedFromTheMenuTheyAreShownAndTheRecordingStays)
{
    StartWithRecording();
    for (const auto &c : HostileCases) {
        SCOPED_TRACE(c.name);
        const std::string path = Path(c.name);
        c.make(path);
        messages.clear();
        dialogs.answer = path;
        Bounded([this] { Open(); }, Unblock(path));
        ExpectSeen(c.fromMenu, path);
        EXPECT_EQ(Probe(*form).RecordingStream().Bytes(), before);
        EXPECT_TRUE(Control<QToolButton>("SpeedButton3")->isChecked());
        ExpectStillPlaying();
    }
}

TEST_F(HostileFileWindow, NamedOnTheCommandLineTheyAreShownAndNothingIsLoaded)
{
    for (const auto &c : HostileCases) {
        SCOPED_TRACE(c.name);
        const std::string path = Path(c.name);
        c.make(path);
        messages.clear();
        form.reset();
        Bounded([&] {
            Create({"Synth A"}, {}, {path});
            form->show();
        }, Unblock(path));
        ExpectSeen(c.fromCommandLine, path);
        EXPECT_EQ(Probe(*form).RecordingStream().Size(), 0u);
        ExpectStillPlaying();
    }
}

TEST_F(HostileFileWindow, AFileWithoutReadPermissionIsShownFromMenuAndCommandLine)
{
    StartWithRecording();
    const std::string path = Path("gesperrt.vsq");
    std::ofstream(path) << "1234567";
    std::filesystem::permissions(path, std::filesystem::perms::none);
    const QString shown = QStringLiteral("Datei %1 kann nicht geöffnet werden.").arg(QString::fromStdString(path));
    // The folder and the settings file (Stop stores the instrument) are the
    // user's own.
    testsupport::GiveToOrdinaryUser(dir.path().toStdString());
    SettleSettings();
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(iniPath.c_str(), testsupport::kNobody, testsupport::kNogroup), 0);
    }
    // Root reads any file: the part that opens it runs as an ordinary user.
    testsupport::RunAsOrdinaryUser([&] {
        dialogs.answer = path;
        Open();
        ExpectShownOnce(shown);
        EXPECT_EQ(Probe(*form).RecordingStream().Bytes(), before);
        messages.clear();
        form.reset();
        Create({"Synth A"}, {}, {path});
        form->show();
        ExpectShownOnce(shown);
        EXPECT_EQ(Probe(*form).RecordingStream().Size(), 0u);
    });
}

TEST_F(HostileFileWindow, ALargeFileIsTakenWholeFromTheMenuAndFromTheCommandLine)
{
    const std::string path = Path("riesig.vsq");
    testfiles::WriteLargeRecording(path, large);
    StartWithRecording();
    dialogs.answer = path;
    Open();
    EXPECT_TRUE(messages.empty());
    ASSERT_EQ(Probe(*form).RecordingStream().Size(), large);
    EXPECT_EQ(Probe(*form).RecordingStream().Position(), 0u);
    ExpectStillPlaying();

    form.reset();
    Create({"Synth A"}, {}, {path});
    form->show();
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(Probe(*form).RecordingStream().Size(), large);
    ExpectStillPlaying();
}

} // namespace
