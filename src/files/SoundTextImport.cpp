#include "files/SoundTextImport.h"

#include "common/IntegerConversion.h"

#include <array>
#include <cmath>
#include <limits>
#include <string_view>
#include <vector>

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

// Round to nearest, halves to the even neighbour, independent of the
// floating-point environment.
long double RoundHalfEven(long double value)
{
    const long double lower = std::floor(value);
    const long double fraction = value - lower;
    if (fraction > 0.5L)
        return lower + 1.0L;
    if (fraction < 0.5L)
        return lower;
    return std::fmod(lower, 2.0L) == 0.0L ? lower : lower + 1.0L;
}

// 12 × log2(f / 8.2) rounded, without holding it to the MIDI range.
long double ComputedNote(std::int32_t frequency)
{
    return RoundHalfEven(kSemitonesPerOctave
                         * std::log2(static_cast<long double>(frequency) / kNoteZeroFrequency));
}

// The computed note only grows with the frequency, so each note is fixed by
// the lowest frequency that reaches it. Those 127 thresholds, found once with
// the formula itself, fill a table that gives the very same notes as taking
// the logarithm for every tone, at a fraction of the cost.
class NoteTable {
public:
    // Every frequency from here up gives note 127 or more.
    static constexpr std::int32_t kSize = 1 << 14;

    NoteTable()
    {
        std::int32_t from = 0;
        for (std::int32_t note = 0; note < kMaxMidiValue; ++note) {
            const std::int32_t next = LowestFrequencyReaching(static_cast<long double>(note + 1));
            for (std::int32_t f = from; f < next; ++f)
                notes_[static_cast<std::size_t>(f)] = static_cast<std::uint8_t>(note);
            from = next;
        }
        for (std::int32_t f = from; f < kSize; ++f)
            notes_[static_cast<std::size_t>(f)] = static_cast<std::uint8_t>(kMaxMidiValue);
    }

    std::uint8_t NoteFor(std::int32_t frequency) const
    {
        if (frequency >= kSize)
            return kMaxMidiValue;
        return frequency <= 0 ? 0 : notes_[static_cast<std::size_t>(frequency)];
    }

private:
    static std::int32_t LowestFrequencyReaching(long double note)
    {
        std::int32_t low = 0; // never reaches a note above 0
        std::int32_t high = kSize; // reaches every note up to 127
        while (high - low > 1) {
            const std::int32_t middle = low + (high - low) / 2;
            if (ComputedNote(middle) >= note)
                high = middle;
            else
                low = middle;
        }
        return high;
    }

    std::array<std::uint8_t, kSize> notes_{};
};

// One line of the text. Lines of decimal digits alone, the usual case, are
// converted while the line end is looked for; any other line goes through the
// shared conversion when it is read, which also raises its error.
struct Line {
    std::string_view text;
    std::int32_t value = 0;
    bool converted = false;

    std::int32_t Value() const { return converted ? value : StrToInt(text); }
};

// Lines end with CR LF, LF or CR; a break after the last line adds no line;
// a NUL ends the text. Each byte is looked at once.
class LineReader {
public:
    explicit LineReader(std::string_view text) : pos_(text.data()), end_(text.data() + text.size()) {}

    bool Next(Line &line)
    {
        if (pos_ == end_ || *pos_ == '\0')
            return false;
        const char *const start = pos_;
        const char *p = start;
        std::uint64_t value = 0;
        while (p != end_) {
            const unsigned digit = static_cast<unsigned char>(*p) - unsigned{'0'};
            if (digit > 9)
                break;
            value = value * 10 + digit;
            ++p;
        }
        const char *const digitsEnd = p;
        while (p != end_ && *p != '\n' && *p != '\r' && *p != '\0')
            ++p;

        const auto digits = digitsEnd - start;
        line.text = std::string_view(start, static_cast<std::size_t>(p - start));
        line.converted = p == digitsEnd && digits > 0 && digits <= 10
                         && value <= static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max());
        line.value = static_cast<std::int32_t>(value);

        if (p != end_) {
            if (*p == '\0') {
                end_ = p;
            } else if (*p++ == '\r' && p != end_ && *p == '\n') {
                ++p;
            }
        }
        pos_ = p;
        return true;
    }

private:
    const char *pos_;
    const char *end_;
};

// The running time is kept in extended precision and never rounded itself,
// so the rounding errors of the many duration / 50 steps do not add up; the
// tick is derived from it afresh after every step.
class SoundClock {
public:
    void Advance(std::int32_t milliseconds)
    {
        // Time never goes back: a negative duration counts as 0.
        if (milliseconds > 0) {
            runningTime_ += static_cast<long double>(milliseconds) / kMillisecondsPerTick;
            tick_ = TickOf(runningTime_);
        }
    }

    std::uint32_t Tick() const { return tick_; }

private:
    // The running time is never negative; rounded half to even, held to
    // the largest tick.
    static std::uint32_t TickOf(long double time)
    {
        if (time > 4294967294.5L)
            return 0xFFFFFFFFu;
        const auto whole = static_cast<std::uint32_t>(time); // truncates: the floor
        const long double fraction = time - static_cast<long double>(whole); // exact
        if (fraction > 0.5L || (fraction == 0.5L && (whole & 1u) != 0))
            return whole + 1;
        return whole;
    }

    long double runningTime_ = 0.0L;
    std::uint32_t tick_ = 0;
};

// Records collected in a block of their own and handed to the stream a
// block at a time.
class RecordWriter {
public:
    explicit RecordWriter(recorder::RecordingStream &stream) : stream_(stream) {}
    ~RecordWriter() = default;

    void Write(std::uint32_t tick, std::uint8_t status, std::uint8_t note, std::uint8_t velocity)
    {
        if (used_ + recorder::RecordedEvent::kSize > block_.size())
            Flush();
        std::uint8_t *out = block_.data() + used_;
        out[0] = static_cast<std::uint8_t>(tick);
        out[1] = static_cast<std::uint8_t>(tick >> 8);
        out[2] = static_cast<std::uint8_t>(tick >> 16);
        out[3] = static_cast<std::uint8_t>(tick >> 24);
        out[4] = status;
        out[5] = note;
        out[6] = velocity;
        used_ += recorder::RecordedEvent::kSize;
    }

    void Flush()
    {
        stream_.Write(block_.data(), used_);
        used_ = 0;
    }

private:
    recorder::RecordingStream &stream_;
    std::array<std::uint8_t, 4096 * recorder::RecordedEvent::kSize> block_;
    std::size_t used_ = 0;
};

} // namespace

EInvalidOp::EInvalidOp() : std::runtime_error("Ungültige Gleitkommaoperation") {}

std::uint8_t NoteForFrequency(std::int32_t frequency)
{
    static const NoteTable table;
    return table.NoteFor(frequency);
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
    const std::vector<std::uint8_t> bytes = recorder::RecordingStream::ReadWholeFile(fileName);
    LineReader lines(std::string_view(reinterpret_cast<const char *>(bytes.data()), bytes.size()));

    // Built aside and swapped in at the end, so a failed import keeps the
    // old recording.
    recorder::RecordingStream result;
    RecordWriter records(result);
    SoundClock clock;
    // One or two lines left over at the end are not read.
    Line frequencyLine, durationLine, volumeLine;
    while (lines.Next(frequencyLine) && lines.Next(durationLine) && lines.Next(volumeLine)) {
        const std::int32_t frequency = frequencyLine.Value();
        if (frequency == 0) { // a rest: its volume line is not read
            clock.Advance(durationLine.Value());
            continue;
        }
        const std::uint8_t velocity = VelocityForVolume(volumeLine.Value());
        if (velocity == 0) {
            clock.Advance(durationLine.Value());
            continue;
        }
        if (frequency < 0)
            throw EInvalidOp();
        const std::uint8_t note = NoteForFrequency(frequency);

        records.Write(clock.Tick(), kNoteOn, note, velocity);
        clock.Advance(durationLine.Value());
        records.Write(clock.Tick(), kNoteOff, note, velocity);
    }
    records.Flush();
    stream.Swap(result);
}

} // namespace files
