#include "performance/ControlKeys.h"


namespace performance {

ControlKeys::ControlKeys(const KeyboardModel &keys, const KeyStateTable &states,
                         const PlayingState &state, recorder::NoteSink &sink,
                         std::function<void(int)> moveTransposition)
    : keys_(keys), states_(states), state_(state), sink_(sink),
      moveTransposition_(std::move(moveTransposition))
{
}

bool ControlKeys::Plays(int virtualKey) const
{
    return virtualKey == VkSpace || virtualKey == VkPageUp || virtualKey == VkPageDown
           || keys_.Maps(virtualKey);
}

void ControlKeys::Poll()
{
    const bool space = IsDown(VkSpace);
    if (!space)
        pedalWaitsForRelease_ = false;
    if (space && !pedalChannel_ && !pedalWaitsForRelease_) {
        const int channel = state_.channel;
        // A press that failed waits for the space bar's release, as a failed
        // piano key does, rather than fail again on every pass.
        pedalWaitsForRelease_ = true;
        sink_.SendNote(OnChannel(ControlChangeStatus, channel), SustainController, PedalDownValue);
        pedalWaitsForRelease_ = false;
        pedalChannel_ = channel;
    } else if (!space && pedalChannel_) {
        ReleasePedal();
    }
    OctaveKey(VkPageUp, pageUpWasDown_, OctaveSemitones);
    OctaveKey(VkPageDown, pageDownWasDown_, -OctaveSemitones);
}

void ControlKeys::ReleasePedal()
{
    if (!pedalChannel_)
        return;
    const int channel = *pedalChannel_;
    pedalChannel_.reset();
    pedalWaitsForRelease_ = IsDown(VkSpace);
    sink_.SendNote(OnChannel(ControlChangeStatus, channel), SustainController, PedalUpValue);
}

void ControlKeys::OctaveKey(int virtualKey, bool &wasDown, int semitones)
{
    // One move per press: holding the key moves no further.
    const bool down = IsDown(virtualKey);
    const bool pressed = down && !wasDown;
    wasDown = down;
    if (pressed)
        moveTransposition_(semitones);
}

} // namespace performance
