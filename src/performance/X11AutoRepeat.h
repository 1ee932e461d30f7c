#pragma once

namespace performance {

// An X server repeats a held key as a release followed by a press. Qt takes
// the pair for a repeat only when the press has already arrived as it
// handles the release; when it has not, the key counts as released, and the
// poll would stop and restart the key's note. Asked for it, the server
// repeats with presses alone, which change nothing for a key already down.
// Does nothing on a platform other than X11.
void MakeAutoRepeatDetectable();

} // namespace performance
