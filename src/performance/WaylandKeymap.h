#pragma once
// The keymap a Wayland compositor hands its clients: on a Wayland session
// the layout the user set is the compositor's, which neither the X server
// nor the system's keyboard configuration knows. Read on a connection of
// our own, the keyboard's keymap event is all we ask for.

#include <chrono>
#include <optional>
#include <string>

namespace performance {

// The compositor named by WAYLAND_DISPLAY (in XDG_RUNTIME_DIR): the text of
// its keyboard's XKB keymap; none when there is no compositor, no keyboard,
// or no answer within `bound`.
std::optional<std::string> CompositorKeymap(std::chrono::milliseconds bound = std::chrono::milliseconds(400));

} // namespace performance
