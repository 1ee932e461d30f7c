#pragma once
// The idle handler runs after every burst of events, and most bursts (a
// repaint, a timer, the mouse moving) change nothing that the pass over the
// PC keyboard reads. The gate lets a pass run only when it could do
// something: while a key is down, once after the key states changed, while a
// piano key is not silent (a Note Off that failed is tried again), and when
// asked to (a new key map, whose faults a pass reports; a pass that did not
// finish). Otherwise every key is up, every piano key silent, and the last
// pass has already brought the pedal and the octave keys in line with that.

#include "performance/KeyStateTable.h"
#include "performance/KeyboardModel.h"

#include <cstdint>

namespace performance {

class PollGate {
public:
    PollGate(const KeyStateTable &states, const KeyboardModel &keys) : states_(states), keys_(keys) {}

    bool Due() const;

    // The next pass runs whatever it finds.
    void Request() { requested_ = true; }

    // Runs `pass` if it is due. `pass` returns whether it finished; one that
    // did not (a failed send, a key-map entry dropped midway) runs again
    // after the next burst.
    template <class Pass>
    void Run(Pass &&pass)
    {
        if (!Due())
            return;
        // Before the pass: a message box shown from it runs events whose
        // key changes must count for the next pass.
        requested_ = false;
        seenChanges_ = states_.Changes();
        if (!pass())
            requested_ = true;
    }

private:
    const KeyStateTable &states_;
    const KeyboardModel &keys_;
    std::uint64_t seenChanges_ = 0;
    // The first pass reads the key map loaded at start-up.
    bool requested_ = true;
};

} // namespace performance
