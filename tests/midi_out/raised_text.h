#pragma once
// The text of the device error an action raises, for comparing with the
// component's exact messages.

#include "midi_out/MidiOut.h"

#include <functional>
#include <string>

inline std::string RaisedText(const std::function<void()> &action)
{
    try {
        action();
    } catch (const midi_out::EmidioutputError &error) {
        return error.what();
    }
    return "<nothing raised>";
}
