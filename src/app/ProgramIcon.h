#pragma once
// The program's icon, in every size rendered from data/icons/midi-sonoret.svg.

#include <QIcon>

namespace app {

// The pixel sizes compiled into the program, smallest first.
inline constexpr int ProgramIconSizes[] = {16, 32, 48, 64, 128, 256};

QIcon ProgramIcon();

} // namespace app
