#include "recorder/DrumPattern.h"

namespace recorder {

void DrumPattern::Tick()
{
    // The counter wraps at 256, a multiple of 4, so the pattern stays in phase.
    const unsigned bit = 1u << (step_ % 4);
    for (const DrumHit &hit : DrumHits) {
        if ((hit.steps & bit) == 0)
            continue;
        sink_.SendNote(DrumNoteOff, hit.note, 0);
        sink_.SendNote(DrumNoteOn, hit.note, hit.velocity);
    }
    ++step_;
}

} // namespace recorder
