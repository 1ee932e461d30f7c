#pragma once
// Stop signals (SIGINT, SIGTERM, SIGHUP: Ctrl+C, a logout, kill) end the
// program through its event loop, as a close does: held notes end, the
// settings are written, the exit status is 0. The handler only writes the
// signal's number to a pipe that the event loop watches. A second stop
// signal ends the process at once, as if none were caught, after removing
// the unfinished files of the saves under way.

namespace common {

// Installs the handlers (a signal the process was started with ignored
// stays ignored) and returns the pipe's end to watch; -1 when no pipe could
// be made (the signals then end the process at once, files removed).
int CatchStopSignals();

} // namespace common
