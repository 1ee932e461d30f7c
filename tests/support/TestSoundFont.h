#pragma once
// The SoundFont that every test rendering sound uses: the one the set-up
// installs (timgm6mb-soundfont), whatever default-GM.sf2 points at on the
// machine. Levels and silences are judged against its samples.

#include <cstdlib>

namespace testing_support {

inline constexpr char kTestSoundFont[] = "/usr/share/sounds/sf2/TimGM6mb.sf2";

// Names it for the program and the back ends under test (and for programs
// that the tests start, which inherit it).
inline void UseTestSoundFont() { setenv("MIDI_SONORET_SOUNDFONT", kTestSoundFont, 1); }

} // namespace testing_support
