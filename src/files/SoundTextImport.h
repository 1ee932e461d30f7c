#pragma once
// Sound text import: a text of tones and rests, three lines each (frequency
// in Hz, duration in ms, volume in 1/65535), turned into Note On / Note Off
// records at 50 ms ticks.

#include "recorder/RecordingStream.h"

#include <cstdint>
#include <stdexcept>
#include <string>

namespace files {

// "Ungültige Gleitkommaoperation": a sounding tone with a negative frequency.
class EInvalidOp : public std::runtime_error {
public:
    EInvalidOp();
};

// Replaces the recording with the tones of the file. On any failure (the
// file cannot be read: EFOpenError / EReadError; a line that is read is no
// integer: EConvertError; a negative frequency: EInvalidOp) the recording is
// left exactly as it was.
void ImportSoundText(const std::string &fileName, recorder::RecordingStream &stream);

// 12 × log2(f / 8.2) rounded half to even and held to 0..127, so 440 Hz is
// note 69. Only for frequencies above 0.
std::uint8_t NoteForFrequency(std::int32_t frequency);

// (volume × 127) div 65535; below 0 counts as 0, above 65535 as 127.
std::uint8_t VelocityForVolume(std::int32_t volume);

} // namespace files
