#pragma once
// The 16 x 16 pictures on the three transport buttons, drawn at run time.

#include <QPixmap>

namespace app {

inline constexpr int GlyphSize = 16;

QPixmap RecordGlyph(); // red disc
QPixmap PlayGlyph();   // green triangle pointing right
QPixmap StopGlyph();   // dark square

} // namespace app
