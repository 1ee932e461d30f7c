#pragma once
// Texts shown by more than one part of the program.

namespace common {

// Shown instead of the runtime's own text when memory runs out.
inline constexpr char OutOfMemoryText[] = "Nicht genügend Arbeitsspeicher vorhanden";

} // namespace common
