#include "app/DeviceDirectory.h"

#include <cstring>

namespace app {

void DeviceDirectory::Read(midi_out::MidiBackend &backend)
{
    names_.clear();
    const std::uint32_t count = backend.DeviceCount();
    names_.reserve(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        midi_out::MidiOutCaps caps;
        if (backend.GetDevCaps(static_cast<std::int32_t>(i), &caps, sizeof caps) != 0) {
            names_.emplace_back();
            continue;
        }
        names_.emplace_back(caps.szPname, strnlen(caps.szPname, sizeof caps.szPname));
    }
}

void DeviceDirectory::ReadInputs(midi_out::MidiBackend &backend)
{
    names_.clear();
    const std::uint32_t count = backend.InputCount();
    names_.reserve(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        std::string name;
        if (backend.GetInputName(static_cast<std::int32_t>(i), &name) != 0)
            name.clear();
        names_.push_back(std::move(name));
    }
}

std::string DeviceDirectory::NameOf(int index) const
{
    return IsValidIndex(index) ? names_[static_cast<std::size_t>(index)] : std::string();
}

std::optional<int> DeviceDirectory::IndexOf(std::string_view name) const
{
    if (name.empty())
        return std::nullopt;
    for (std::size_t i = 0; i < names_.size(); ++i)
        if (names_[i] == name)
            return static_cast<int>(i);
    return std::nullopt;
}

} // namespace app
