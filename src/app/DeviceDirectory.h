#pragma once
// The output devices (or the MIDI sources) by number and by name, as the back end lists them at
// one moment. Ports come and go, so a device is remembered by its name and
// found again here under whatever number it has now.

#include "midi_out/MidiBackend.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace app {

class DeviceDirectory {
public:
    // Reads the names of devices 0 .. count - 1 from the back end's current
    // list. A device whose name cannot be read keeps an empty name.
    void Read(midi_out::MidiBackend &backend);
    // The same for the MIDI sources.
    void ReadInputs(midi_out::MidiBackend &backend);

    int Count() const { return static_cast<int>(names_.size()); }
    bool IsValidIndex(int index) const { return index >= 0 && index < Count(); }
    // Empty outside 0 .. Count() - 1.
    std::string NameOf(int index) const;
    // The first device of that name in device order.
    std::optional<int> IndexOf(std::string_view name) const;

private:
    std::vector<std::string> names_;
};

} // namespace app
