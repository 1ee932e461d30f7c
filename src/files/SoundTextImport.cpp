#include "files/SoundTextImport.h"

#include "common/IntegerConversion.h"

#include <cmath>
#include <string_view>

namespace files {

using common::StrToInt;

namespace {

constexpr long double kMillisecondsPerTick = 50.0L;
constexpr long double kNoteZeroFrequency = 8.2L;
constexpr long double kSemitonesPerOctave = 12.0L;
constexpr std::int64_t kFullVolume = 65535;
constexpr std::int64_t kMaxMidiValue = 127;
constexpr std::uint8_t kNoteOn = 0x90;
constexpr std::uint8_t kNoteOff = 0x80;

// Lines end with CR LF, LF or CR; a break after the last line adds no line;
// a NUL ends the text.
class LineReader {
public:
    explicit LineReader(std::string_view text) : text_(text.substr(0, text.find('\0'))) {}

    bool AtEnd() const { return pos_ >= text_.size(); }

    std::string_view Next()
    {
        const std::size_t start = pos_;
        const std::size_t end = std::min(text_.find_first_of("\r\n", start), text_.size());
        pos_ = end;
        if (pos_ < text_.size()) {
            if (text_[pos_] == '\r' && pos_ + 1 < text_.size() && text_[pos_ + 1] == '\n')
                ++pos_;
            ++pos_;
        }
        return text_.substr(start, end - start);
    }

    std::size_t CountLines() const
    {
        LineReader counter(text_);
        std::size_t lines = 0;
        while (!counter.AtEnd()) {
            counter.Next();
            ++lines;
        }
        return lines;
    }

private:
    std::string_view text_;
    std::size_t pos_ = 0;
};

// Round to nearest, halves to the even neighbour, independent of the
// floating-point environment.
long double roundHalfEven(long double value)
{
    const long double lower = std::floor(value);
    const long double fraction = value - lower;
    if (fraction > 0.5L)
        return lower + 1.0L;
    if (fraction < 0.5L)
        return lower;
    return std::fmod(lower, 2.0L) == 0.0L ? lower : lower + 1.0L;
}

// The running time is kept in extended precision and never rounded itself,
// so the rounding errors of the many duration / 50 steps do not add up; the
// tick is derived from it afresh after every step.
class SoundClock {
public:
    void Advance(std::int32_t milliseconds)
    {
        // Time never goes back: a negative duration counts as 0.
        if (milliseconds > 0)
            runningTime_ += static_cast<long double>(milliseconds) / kMillisecondsPerTick;
        const long double rounded = roundHalfEven(runningTime_);
        tick_ = rounded >= 4294967295.0L ? 0xFFFFFFFFu : static_cast<std::uint32_t>(rounded);
    }

    std::uint32_t Tick() const { return tick_; }

private:
    long double runningTime_ = 0.0L;
    std::uint32_t tick_ = 0;
};

} // namespace

EInvalidOp::EInvalidOp() : std::runtime_error("Ungültige Gleitkommaoperation") {}

std::uint8_t NoteForFrequency(std::int32_t frequency)
{
    const long double note = roundHalfEven(
        kSemitonesPerOctave * std::log2(static_cast<long double>(frequency) / kNoteZeroFrequency));
    if (note < 0.0L)
        return 0;
    if (note > static_cast<long double>(kMaxMidiValue))
        return kMaxMidiValue;
    return static_cast<std::uint8_t>(note);
}

std::uint8_t VelocityForVolume(std::int32_t volume)
{
    if (volume <= 0)
        return 0;
    if (volume >= kFullVolume)
        return kMaxMidiValue;
    return static_cast<std::uint8_t>(volume * kMaxMidiValue / kFullVolume);
}

void ImportSoundText(const std::string &fileName, recorder::RecordingStream &stream)
{
    recorder::RecordingStream source;
    source.LoadFromFile(fileName);
    const auto &bytes = source.Bytes();
    LineReader lines(std::string_view(reinterpret_cast<const char *>(bytes.data()), bytes.size()));

    // Built aside and swapped in at the end, so a failed import keeps the
    // old recording.
    recorder::RecordingStream result;
    SoundClock clock;
    for (std::size_t groups = lines.CountLines() / 3; groups > 0; --groups) {
        const std::string_view frequencyLine = lines.Next();
        const std::string_view durationLine = lines.Next();
        const std::string_view volumeLine = lines.Next();

        const std::int32_t frequency = StrToInt(frequencyLine);
        if (frequency == 0) { // a rest: its volume line is not read
            clock.Advance(StrToInt(durationLine));
            continue;
        }
        const std::uint8_t velocity = VelocityForVolume(StrToInt(volumeLine));
        if (velocity == 0) {
            clock.Advance(StrToInt(durationLine));
            continue;
        }
        if (frequency < 0)
            throw EInvalidOp();
        const std::uint8_t note = NoteForFrequency(frequency);

        result.WriteEvent({clock.Tick(), kNoteOn, note, velocity});
        clock.Advance(StrToInt(durationLine));
        result.WriteEvent({clock.Tick(), kNoteOff, note, velocity});
    }
    stream.Swap(result);
}

} // namespace files
