#include "recorder/DrumPattern.h"

#include <exception>

namespace recorder {

void DrumPattern::Tick()
{
    // The counter wraps at 256, a multiple of 4, so the pattern stays in phase.
    const unsigned bit = 1u << (step_ % 4);
    for (std::size_t i = 0; i < DrumHits.size(); ++i) {
        const DrumHit &hit = DrumHits[i];
        if ((hit.steps & bit) == 0)
            continue;
        sink_.SendNote(DrumNoteOff, hit.note, 0);
        sounding_ &= ~(1u << i);
        sink_.SendNote(DrumNoteOn, hit.note, hit.velocity);
        sounding_ |= 1u << i;
    }
    ++step_;
}

void DrumPattern::Silence()
{
    const unsigned sounding = sounding_;
    sounding_ = 0;
    std::exception_ptr failure;
    for (std::size_t i = 0; i < DrumHits.size(); ++i) {
        if ((sounding & (1u << i)) == 0)
            continue;
        try {
            sink_.SendNote(DrumNoteOff, DrumHits[i].note, 0);
        } catch (...) {
            if (!failure)
                failure = std::current_exception();
        }
    }
    if (failure)
        std::rethrow_exception(failure);
}

} // namespace recorder
