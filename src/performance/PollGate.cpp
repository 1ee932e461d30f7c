#include "performance/PollGate.h"

#include "performance/PianoKey.h"

#include <algorithm>

namespace performance {

bool PollGate::Due() const
{
    return requested_ || states_.Changes() != seenChanges_ || states_.AnyDown()
           || std::any_of(keys_.begin(), keys_.end(),
                          [](const PianoKey *key) { return key && !key->IsSilent(); });
}

} // namespace performance
