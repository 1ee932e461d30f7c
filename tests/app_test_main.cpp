#include "app/ErrorHandler.h"

#include "support/TestSoundFont.h"

#include <cstdlib>
#include <gtest/gtest.h>

// The app and performance tests run under the program's own application
// object, so that exceptions from event handlers end in its notify().
int main(int argc, char **argv)
{
    // The test binaries also run at build time to list their tests, outside
    // the CTest environment: no display, and no JACK server to autostart.
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("JACK_NO_START_SERVER", "1", 1);
    testing_support::UseTestSoundFont();
    ::testing::InitGoogleTest(&argc, argv);
    app::SonoretApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
