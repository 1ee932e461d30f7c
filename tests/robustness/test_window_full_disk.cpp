// A full disk seen through the main window: saving a recording, exporting
// it and storing a changed setting each show the lower layer's message, the
// file that was there stays as it was, no temporary file is left, and the
// window goes on.

#include "FileWindow.h"
#include "TinyDisk.h"

#include "app/SpinButtons.h"
#include "support/WindowProbe.h"

#include <QSlider>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

using testing_support::TinyDisk;

using testing_support::Contents;

class FullDiskWindow : public testing_support::FileWindow {
protected:
    void SetUp() override
    {
        FileWindow::SetUp();
        if (!disk.Mounted())
            GTEST_SKIP() << "mounting a small tmpfs needs root";
    }

    TinyDisk disk;
};

TEST_F(FullDiskWindow, SavingAndExportingShowTheWriteErrorAndKeepTheOldFiles)
{
    // Larger than what a full disk's last page holds.
    StartWithRecording(4000);
    for (const char *name : {"aufnahme.vsq", "lied.mid"}) {
        SCOPED_TRACE(name);
        const std::string path = disk.File(name);
        std::ofstream(path) << "old " << name;
        disk.Fill();
        messages.clear();
        dialogs.answer = path;
        Save();
        // The new file's entry takes no data pages: its bytes find no room.
        ExpectShownOnce(QStringLiteral("Stream-Schreibfehler."));
        EXPECT_EQ(Contents(path), std::string("old ") + name);
        EXPECT_EQ(Probe(*form).RecordingStream().Bytes(), before);
        std::filesystem::remove(disk.File("filler"));
    }
    EXPECT_EQ(disk.Names(), (std::vector<std::string>{"aufnahme.vsq", "lied.mid"}));

    // With room again the same command saves.
    messages.clear();
    dialogs.answer = disk.File("aufnahme.vsq");
    Save();
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(Contents(*dialogs.answer), std::string(before.begin(), before.end()));
}

TEST_F(FullDiskWindow, AChangedSettingShowsTheSettingsFileMessageAndTheFileStays)
{
    iniPath = disk.File("midi-sonoret.ini");
    // Large enough that rewriting it needs more than one page.
    std::string text = "[Common]\nBeat=120\nVolume=127\n[Notizen]\n";
    for (int line = 1; line < 600; ++line)
        text += "Zeile" + std::to_string(line) + "=" + std::to_string(line * 7) + "\n";
    std::ofstream(iniPath) << text;
    Create();
    SettleSettings();
    const std::string stored = Contents(iniPath);
    disk.Fill();

    const QString refused = QStringLiteral("In %1 kann nicht geschrieben werden.").arg(QString::fromStdString(iniPath));
    Control<QSlider>("TrackBar1")->setValue(64);
    ExpectShownOnce(refused);
    messages.clear();
    Control<app::SpinButtons>("UpDown1")->SetPosition(90);
    ExpectShownOnce(refused);
    // The tempo takes effect in the window even though it is not stored.
    EXPECT_EQ(Control<recorder::SteadyTimer>("DrumTimer")->Interval(), recorder::DrumPattern::IntervalMs(90));
    EXPECT_EQ(Contents(iniPath), stored);
    EXPECT_EQ(disk.Names(), (std::vector<std::string>{"filler", "midi-sonoret.ini"}));
}

// The device that is always full needs no root: a recording saved through a
// link to it, and a settings file that is such a link.
class DeviceFullWindow : public testing_support::FileWindow {};

TEST_F(DeviceFullWindow, SavingExportingAndStoringShowTheirMessages)
{
    StartWithRecording(4000);
    for (const char *name : {"voll.vsq", "voll.mid"}) {
        SCOPED_TRACE(name);
        const std::string link = dir.filePath(QString::fromLatin1(name)).toStdString();
        std::filesystem::create_symlink("/dev/full", link);
        messages.clear();
        dialogs.answer = link;
        Save();
        ExpectShownOnce(QStringLiteral("Stream-Schreibfehler."));
        EXPECT_TRUE(std::filesystem::is_symlink(link));
    }

    // Start-up's write-backs fail alike: one message for all of them; a
    // change afterwards shows it again.
    form.reset();
    messages.clear();
    iniPath = dir.filePath(QStringLiteral("voll.ini")).toStdString();
    std::filesystem::create_symlink("/dev/full", iniPath);
    Create();
    const QString refused = QStringLiteral("In %1 kann nicht geschrieben werden.").arg(QString::fromStdString(iniPath));
    ExpectShownOnce(refused);
    messages.clear();
    Control<QSlider>("TrackBar1")->setValue(64);
    ExpectShownOnce(refused);
    EXPECT_TRUE(std::filesystem::is_symlink(iniPath));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name),
              (QStringList{QStringLiteral("midi-sonoret.ini"), QStringLiteral("voll.ini"), QStringLiteral("voll.mid"),
                           QStringLiteral("voll.vsq")}))
        << "no temporary file beside the links";
}

} // namespace
