#pragma once
// FluidSynth is loaded on first use (see FluidSynthLibrary.cpp).

namespace midi_out {

// Loads the library if that has not been tried yet; false when it is missing.
bool FluidSynthLoaded();

} // namespace midi_out
