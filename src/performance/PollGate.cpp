#include "performance/PollGate.h"

namespace performance {

bool PollGate::Due() const
{
    return requested_ || states_.Changes() != seenChanges_ || states_.AnyDown() || keys_.AnySounding();
}

} // namespace performance
