// On a Wayland session the PC keys are labelled by the compositor's layout,
// whatever XKB_DEFAULT_LAYOUT or the system's keyboard configuration say: a
// real compositor (weston, its keyboard taken from an X server of the test's
// own set to French) hands its keymap to our own connection.

#include "e2e/E2eSupport.h"
#include "performance/KeyboardLayout.h"
#include "performance/WaylandKeymap.h"
#include "support/EnvGuard.h"
#include "support/HangBound.h"
#include "support/QuietSpawn.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTemporaryDir>

#include <signal.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace e2e {
namespace {

using Variable = testing_support::EnvGuard;

using testing_support::SpawnQuietly;

// Ends a child however the test ends.
class Child {
public:
    explicit Child(pid_t pid) : pid_(pid) {}
    ~Child()
    {
        if (pid_ == 0)
            return;
        kill(pid_, SIGTERM);
        if (!PollUntil([this] { return waitpid(pid_, nullptr, WNOHANG) == pid_; }, std::chrono::seconds(5))) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    Child(const Child &) = delete;
    Child &operator=(const Child &) = delete;
    pid_t Pid() const { return pid_; }

private:
    pid_t pid_;
};

int RunToEnd(std::vector<std::string> arguments)
{
    const pid_t pid = SpawnQuietly(std::move(arguments));
    int status = -1;
    if (pid == 0 || waitpid(pid, &status, 0) != pid)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(WaylandSession, TheCompositorsLayoutLabelsThePcKeysAndASwitchRelabelsThem)
{
    // The watch reads the compositor from the event loop.
    int argc = 1;
    char name[] = "test_e2e";
    char *argv[] = {name, nullptr};
    std::optional<QCoreApplication> application;
    if (QCoreApplication::instance() == nullptr)
        application.emplace(argc, argv);
    XvfbDisplay display;
    ASSERT_TRUE(display.Failure().empty()) << display.Failure();
    ASSERT_EQ(RunToEnd({"setxkbmap", "-display", display.Name(), "fr"}), 0) << "setxkbmap (x11-xkb-utils) missing";
    QTemporaryDir runtime;
    ASSERT_TRUE(runtime.isValid());
    std::filesystem::permissions(runtime.path().toStdString(), std::filesystem::perms::owner_all);
    const std::string socket = "sonoret-wl-" + std::to_string(getpid());
    const Child weston(SpawnQuietly({"weston", "--backend=x11-backend.so", "--use-pixman", "--no-config",
                                "--idle-time=0", "--socket=" + socket,
                                "--log=" + runtime.path().toStdString() + "/weston.log"},
                               {"DISPLAY=" + display.Name(), "XDG_RUNTIME_DIR=" + runtime.path().toStdString(),
                                "WAYLAND_DISPLAY="}));
    ASSERT_NE(weston.Pid(), 0) << "weston missing";
    const std::string socketPath = runtime.path().toStdString() + "/" + socket;
    const bool listening =
        PollUntil([&] { return std::filesystem::exists(socketPath); }, testing_support::kHangBound);

    ASSERT_TRUE(listening) << "weston did not start";
    {
        // The names would say US; the session is the compositor's.
        const Variable layout("XKB_DEFAULT_LAYOUT", "us");
        const Variable runtimeDir("XDG_RUNTIME_DIR", runtime.path().toStdString());
        const Variable wayland("WAYLAND_DISPLAY", socket);
        EXPECT_EQ(performance::KeyboardLayout(performance::KeyboardLayout::CurrentNames()).LabelAt(16), "Q");

        performance::WaylandKeymapWatch watch(std::chrono::seconds(5));
        ASSERT_TRUE(watch.Keymap().has_value()) << "no keymap from the compositor";
        const auto french = performance::KeyboardLayout::FromKeymapText(*watch.Keymap());
        // AZERTY: A where QWERTY has Q, W where it has Z, M right of L.
        EXPECT_EQ(french.LabelAt(16), "A");
        EXPECT_EQ(french.LabelAt(44), "W");
        EXPECT_EQ(french.LabelAt(39), "M");

        // The user switches to German: the compositor sends the new keymap.
        int changes = 0;
        QObject::connect(&watch, &performance::WaylandKeymapWatch::Changed, [&changes] { ++changes; });
        ASSERT_EQ(RunToEnd({"setxkbmap", "-display", display.Name(), "de"}), 0);
        EXPECT_TRUE(PollUntil([&] {
            QCoreApplication::processEvents();
            return changes > 0;
        }, testing_support::kHangBound)) << "no new keymap after the switch";
        const auto german = performance::KeyboardLayout::FromKeymapText(*watch.Keymap());
        EXPECT_EQ(german.LabelAt(21), "Z"); // QWERTZ
        EXPECT_EQ(german.LabelAt(44), "Y");
        EXPECT_EQ(performance::KeyboardLayout::FromKeymapText(performance::CompositorKeymap().value_or("")).LabelAt(21),
                  "Z");

        const Variable none("WAYLAND_DISPLAY", socket + "-none");
        EXPECT_FALSE(performance::CompositorKeymap().has_value());
    }
    EXPECT_TRUE(performance::KeyboardLayout::FromKeymapText("no keymap").LabelAt(16).isEmpty());
}

} // namespace
} // namespace e2e
