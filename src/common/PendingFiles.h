#pragma once
// The unfinished files of all file writers at work, in a table that a signal
// handler can read: fixed slots, lock-free states, no allocation. A process
// ended by a stop signal skips the destructors that would remove them, so
// the handlers installed here remove them on its way out.

#include <string>

namespace common {

// Enters file `name` of folder `fd` (kept open while entered); the slot, or
// -1 when every slot is taken (that file is then not removed on a signal).
int RegisterPendingFile(int folder, const std::string &name);
// The file is done or gone: its slot is free again, and `slot` -1.
void UnregisterPendingFile(int &slot);

// Removes every file entered, with async-signal-safe calls only.
void RemovePendingFiles() noexcept;
// Handlers for SIGINT, SIGTERM and SIGHUP that remove the files entered and
// then end the process by the same signal. A signal the process was started
// with ignored stays ignored.
void RemovePendingFilesOnStopSignals();
// Installs `handler` for SIGINT, SIGTERM and SIGHUP, but for those the
// process was started with ignored.
void HandleStopSignals(void (*handler)(int), int flags = 0);

} // namespace common
