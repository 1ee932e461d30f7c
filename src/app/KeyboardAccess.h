#pragma once
// The main window's controls from the keyboard alone. Tab and Shift+Tab go
// round the controls as they stand, left to right and top to bottom; the
// arrow keys work the focused one (the spins step, the slider moves, the
// transport buttons pass the focus on without pressing anything); Enter
// presses a button or the check box, since the space bar is the sustain
// pedal. A frame shows the control the keyboard reached. Keys that play
// never get here: they are taken before any control.

class QMainWindow;

namespace app {

struct MainControls;

void SetUpKeyboardAccess(MainControls &controls, QMainWindow &window);

} // namespace app
