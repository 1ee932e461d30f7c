#include "performance/NoteNames.h"

#include <QCoreApplication>

#include <array>

namespace performance {

namespace {

// German spelling with sharps, as the black keys are named in German
// teaching; B natural is H.
constexpr std::array<const char *, 12> PitchClassNames{
    QT_TRANSLATE_NOOP("NoteName", "C"),   QT_TRANSLATE_NOOP("NoteName", "Cis"),
    QT_TRANSLATE_NOOP("NoteName", "D"),   QT_TRANSLATE_NOOP("NoteName", "Dis"),
    QT_TRANSLATE_NOOP("NoteName", "E"),   QT_TRANSLATE_NOOP("NoteName", "F"),
    QT_TRANSLATE_NOOP("NoteName", "Fis"), QT_TRANSLATE_NOOP("NoteName", "G"),
    QT_TRANSLATE_NOOP("NoteName", "Gis"), QT_TRANSLATE_NOOP("NoteName", "A"),
    QT_TRANSLATE_NOOP("NoteName", "Ais"), QT_TRANSLATE_NOOP("NoteName", "H"),
};

constexpr int OctaveOfNoteZero = -1;

} // namespace

QString NoteName(std::uint8_t note)
{
    return QCoreApplication::translate("NoteName", PitchClassNames[note % 12]) +
           QString::number(note / 12 + OctaveOfNoteZero);
}

} // namespace performance
