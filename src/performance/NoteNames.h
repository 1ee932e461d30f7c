#pragma once
// A note's name as a musician reads it: letter, accidental and octave, with
// middle C (note 60) as C4. The names go through the catalogue, so that a
// German interface says "Cis4" and "H4" where an English one says "C♯4" and
// "B4".

#include <QString>

#include <cstdint>

namespace performance {

QString NoteName(std::uint8_t note);

} // namespace performance
