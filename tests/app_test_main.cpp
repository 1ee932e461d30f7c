#include "app/ErrorHandler.h"

#include "support/TestSoundFont.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>

// The app and performance tests run under the program's own application
// object, so that exceptions from event handlers end in its notify().
int main(int argc, char **argv)
{
    // The test binaries also run at build time to list their tests, outside
    // the CTest environment: no display, and no JACK server to autostart.
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("JACK_NO_START_SERVER", "1", 1);
    // The German interface, whatever the machine's locale; a test that
    // wants another language asks for it itself.
    setenv("LC_ALL", "C.UTF-8", 1);
    unsetenv("LANGUAGE");
    unsetenv("MIDI_SONORET_LANGUAGE");
    testing_support::UseTestSoundFont();
    // The takes' journals go to a folder of this run's own, never the user's.
    char state[] = "/tmp/sonoret-test-state-XXXXXX";
    if (::mkdtemp(state) != nullptr)
        setenv("XDG_STATE_HOME", state, 1);
    ::testing::InitGoogleTest(&argc, argv);
    app::SonoretApplication application(argc, argv);
    const int result = RUN_ALL_TESTS();
    std::error_code ignored;
    std::filesystem::remove_all(state, ignored);
    return result;
}
