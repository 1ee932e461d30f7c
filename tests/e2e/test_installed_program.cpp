// The program as a package installs it: run from a prefix whose executable
// folder it may not write to, it keeps its settings in the user's
// configuration folder and plays, records and saves as from the build folder.

#include "support/HangBound.h"
#include "e2e/PlayingWindow.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace e2e {
namespace {

namespace fs = std::filesystem;

// `cmake --install` of the build into a prefix of its own, then made
// read-only as a system folder is to a user: for root, which writes
// anywhere, by mounting it read-only over itself.
class ReadOnlyInstall {
public:
    ReadOnlyInstall()
    {
        if (!folder_.isValid()) {
            failure_ = "no temporary folder";
            return;
        }
        const std::string command = "cmake --install '" + std::string(SONORET_BINARY_DIR) + "' --prefix '" + Prefix()
                                    + "' >/dev/null";
        if (std::system(command.c_str()) != 0) {
            failure_ = "cmake --install failed";
            return;
        }
        if (geteuid() != 0) {
            fs::permissions(Prefix() + "/bin", fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                            fs::perm_options::remove);
            return;
        }
        if (::mount(Prefix().c_str(), Prefix().c_str(), nullptr, MS_BIND, nullptr) != 0) {
            failure_ = std::string("the prefix cannot be mounted read-only: ") + std::strerror(errno);
            return;
        }
        mounted_ = true;
        if (::mount(nullptr, Prefix().c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) != 0)
            failure_ = std::string("the prefix cannot be made read-only: ") + std::strerror(errno);
    }
    ~ReadOnlyInstall()
    {
        if (mounted_)
            ::umount2(Prefix().c_str(), MNT_DETACH);
    }
    ReadOnlyInstall(const ReadOnlyInstall &) = delete;
    ReadOnlyInstall &operator=(const ReadOnlyInstall &) = delete;

    std::string Prefix() const { return folder_.path().toStdString(); }
    const std::string &Failure() const { return failure_; }

private:
    QTemporaryDir folder_;
    bool mounted_ = false;
    std::string failure_;
};

TEST_F(PlayingWindow, InstalledProgramKeepsItsSettingsInTheConfigFolder)
{
    const ReadOnlyInstall install;
    ASSERT_EQ(install.Failure(), "");
    ASSERT_NE(::access((install.Prefix() + "/bin").c_str(), W_OK), 0) << "the executable folder is writable";
    installedPrefix = install.Prefix();
    // Started, it finds the device chosen in the configuration folder's
    // settings and plays a typed key.
    ASSERT_NO_FATAL_FAILURE(Start());

    // A stored change lands in the same file, none beside the executable.
    Click({8 + 6, 8}); // "Drums-Begleitung"
    EXPECT_TRUE(PollUntil([&] { return program->SettingsText().find("Drums=1") != std::string::npos; },
                          testing_support::kHangBound))
        << program->SettingsText();
    Click({8 + 6, 8});
    EXPECT_FALSE(fs::exists(install.Prefix() + "/bin/midi-sonoret.ini"));

    // Records a key and saves it through the dialog.
    const XInput in(display.Connection());
    Click(RecordButton);
    input->WaitForMore(1, IsNoteOrProgram); // the instrument
    const unsigned z = in.KeycodeOf(0x7a); // XK_z
    in.Key(z, true);
    input->WaitForMore(1, IsNote);
    in.Key(z, false);
    ASSERT_EQ(Notes(input->WaitForMore(1, IsNote)), (std::vector<Bytes>{On(38, 127), Off(38)}));
    Click(StopButton);
    const std::string saved = program->Folder() + "/Installiert.vsq";
    ASSERT_NO_FATAL_FAILURE(SaveThroughDialog(saved));
    EXPECT_EQ(fs::file_size(saved), 3u * 7u) << "the instrument, the Note On and the Note Off";
    ExpectCleanEnd(*program);
}

} // namespace
} // namespace e2e
