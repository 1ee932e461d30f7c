#include "files/MidiImport.h"

#include "files/MidiExport.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <utility>

namespace files {

namespace {

constexpr std::uint32_t kDefaultTempo = 500000; // µs per quarter, 120 beats per minute
constexpr unsigned __int128 kUsPerRecordTick = 50000;

struct Event {
    std::uint64_t tick;
    std::uint8_t status, data1, data2;
};

struct TempoChange {
    std::uint64_t tick;
    std::uint32_t usPerQuarter;
};

std::uint32_t BigEndian(std::span<const std::uint8_t> bytes, std::size_t at, std::size_t count)
{
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < count; ++i)
        value = value << 8 | bytes[at + i];
    return value;
}

// Most times fit 64 bits, whose division is many times quicker.
std::uint64_t Divide(unsigned __int128 numerator, unsigned __int128 denominator)
{
    if ((numerator >> 64) == 0 && (denominator >> 64) == 0)
        return static_cast<std::uint64_t>(numerator) / static_cast<std::uint64_t>(denominator);
    const unsigned __int128 quotient = numerator / denominator;
    return (quotient >> 64) != 0 ? ~std::uint64_t{0} : static_cast<std::uint64_t>(quotient);
}

bool HasOneDataByte(std::uint8_t status)
{
    const std::uint8_t kind = status & 0xF0;
    return kind == 0xC0 || kind == 0xD0;
}

// Stand-ins for the device number byte of the resets below.
constexpr std::uint8_t kAnyDevice = 0x80; // universal messages: any number
constexpr std::uint8_t kGroupDevice = 0x81; // GS and XG: 0x10 to 0x1F

// The resets most files begin with, as the bytes after F0. A recording has
// no place for them, and the synthesizer needs none: left out unsaid.
constexpr std::uint8_t kGmSystemOn[] = {0x7E, kAnyDevice, 0x09, 0x01, 0xF7};
constexpr std::uint8_t kGmSystemOff[] = {0x7E, kAnyDevice, 0x09, 0x02, 0xF7};
constexpr std::uint8_t kGm2SystemOn[] = {0x7E, kAnyDevice, 0x09, 0x03, 0xF7};
constexpr std::uint8_t kGsReset[] = {0x41, kGroupDevice, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7};
constexpr std::uint8_t kXgSystemOn[] = {0x43, kGroupDevice, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7};
constexpr std::array<std::span<const std::uint8_t>, 5> kStandardResets{kGmSystemOn, kGmSystemOff, kGm2SystemOn,
                                                                      kGsReset, kXgSystemOn};

bool IsStandardReset(std::span<const std::uint8_t> message)
{
    const auto matches = [](std::uint8_t wanted, std::uint8_t byte) {
        if (wanted == kAnyDevice)
            return byte < 0x80;
        if (wanted == kGroupDevice)
            return (byte & 0xF0) == 0x10;
        return byte == wanted;
    };
    return std::any_of(kStandardResets.begin(), kStandardResets.end(), [&](std::span<const std::uint8_t> reset) {
        return std::equal(reset.begin(), reset.end(), message.begin(), message.end(), matches);
    });
}

// One track chunk's events. `cut`: the chunk ends before its stated length
// (the file ends there), so running out of bytes ends the track instead of
// making the file invalid.
class TrackReader {
public:
    TrackReader(std::span<const std::uint8_t> data, bool cut, const std::string &fileName)
        : data_(data), cut_(cut), fileName_(fileName)
    {
    }

    // False at the track's end.
    void Read(std::vector<Event> &events, std::vector<TempoChange> &tempos, MidiImportNotes &notes)
    {
        std::uint64_t tick = 0;
        std::uint8_t running = 0;
        while (at_ < data_.size()) {
            std::uint32_t delta;
            if (!Quantity(delta) || at_ >= data_.size())
                return Short();
            tick += delta;
            const std::uint8_t first = data_[at_];
            if (first == 0xFF) {
                ++at_;
                std::uint32_t length;
                if (at_ >= data_.size())
                    return Short();
                const std::uint8_t type = data_[at_++];
                if (!Quantity(length) || data_.size() - at_ < length)
                    return Short();
                if (type == 0x51 && length == 3) {
                    const std::uint32_t tempo = BigEndian(data_, at_, 3);
                    if (tempo == 0)
                        throw EInvalidMidiFile(fileName_);
                    tempos.push_back({tick, tempo});
                }
                at_ += length;
                running = 0;
                if (type == 0x2F)
                    return; // End of Track
                continue;
            }
            if (first == 0xF0 || first == 0xF7) {
                ++at_;
                std::uint32_t length;
                if (!Quantity(length) || data_.size() - at_ < length)
                    return Short();
                if (first == 0xF0 && !IsStandardReset(data_.subspan(at_, length)))
                    ++notes.systemExclusive;
                at_ += length;
                running = 0;
                continue;
            }
            std::uint8_t status = running;
            if (first & 0x80) {
                // System common and real-time messages have no place in a file.
                if (first > 0xEF)
                    throw EInvalidMidiFile(fileName_);
                status = first;
                ++at_;
            } else if (status == 0) {
                throw EInvalidMidiFile(fileName_); // data without a status
            }
            running = status;
            const std::size_t count = HasOneDataByte(status) ? 1 : 2;
            if (data_.size() - at_ < count)
                return Short();
            const std::uint8_t data1 = data_[at_];
            const std::uint8_t data2 = count == 2 ? data_[at_ + 1] : 0;
            if ((data1 | data2) & 0x80)
                throw EInvalidMidiFile(fileName_);
            at_ += count;
            events.push_back({tick, status, data1, data2});
        }
    }

private:
    // A variable-length quantity of at most four bytes.
    bool Quantity(std::uint32_t &value)
    {
        value = 0;
        for (int i = 0; i < 4; ++i) {
            if (at_ >= data_.size())
                return false;
            const std::uint8_t byte = data_[at_++];
            value = value << 7 | (byte & 0x7F);
            if (!(byte & 0x80))
                return true;
        }
        throw EInvalidMidiFile(fileName_);
    }

    void Short() const
    {
        if (!cut_)
            throw EInvalidMidiFile(fileName_);
    }

    std::span<const std::uint8_t> data_;
    bool cut_;
    const std::string &fileName_;
    std::size_t at_ = 0;
};

// The silent note pair this program's export puts before the recording: not
// part of what was recorded. Its Note Off lies at time 1, or at time 0 in the
// files of version 1.0.0.
bool StartsWithOwnPrelude(std::span<const std::uint8_t> track, std::uint16_t division)
{
    const auto events = std::span(kTrackPrelude).subspan(8);
    const std::size_t noteOffDelta = kPreludeNoteOffDeltaOffset - 8;
    if (division != kMidiHeader[13] || track.size() < events.size())
        return false;
    for (std::size_t i = 0; i < events.size(); ++i)
        if (track[i] != events[i] && !(i == noteOffDelta && track[i] == 0x00))
            return false;
    return true;
}

} // namespace

EInvalidMidiFile::EInvalidMidiFile(const std::string &fileName)
    : EStreamError("Datei " + fileName + " ist keine gültige MIDI-Datei.")
{
}

EMidiFormat2::EMidiFormat2(const std::string &fileName)
    : EStreamError("Datei " + fileName + " ist eine MIDI-Datei im Format 2, die nicht geöffnet werden kann.")
{
}

std::vector<std::string> MidiImportNotes::Texts(const std::string &fileName) const
{
    std::vector<std::string> texts;
    if (truncated)
        texts.push_back("Datei " + fileName + " endet mitten in einer Spur; gelesen wurde bis dorthin.");
    if (systemExclusive == 1)
        texts.push_back("1 System-Exclusive-Meldung wurde übergangen.");
    else if (systemExclusive > 1)
        texts.push_back(std::to_string(systemExclusive) + " System-Exclusive-Meldungen wurden übergangen.");
    return texts;
}

std::vector<std::uint8_t> MidiFileRecords(std::span<const std::uint8_t> file, const std::string &fileName,
                                          MidiImportNotes &notes)
{
    if (file.size() < 14 || std::memcmp(file.data(), "MThd", 4) != 0)
        throw EInvalidMidiFile(fileName);
    const std::uint32_t headerLength = BigEndian(file, 4, 4);
    if (headerLength < 6 || headerLength > file.size() - 8)
        throw EInvalidMidiFile(fileName);
    const std::uint32_t format = BigEndian(file, 8, 2);
    const std::uint32_t trackCount = BigEndian(file, 10, 2);
    const auto division = static_cast<std::uint16_t>(BigEndian(file, 12, 2));
    if (format == 2)
        throw EMidiFormat2(fileName);
    if (format > 2 || division == 0)
        throw EInvalidMidiFile(fileName);
    // Microseconds per file tick as a fraction: SMPTE divisions give frames
    // per second (29 meaning 29.97) and ticks per frame, and no tempo.
    const bool smpte = division & 0x8000;
    unsigned __int128 smpteUs = 0, smpteTicks = 1;
    if (smpte) {
        const int frames = -static_cast<std::int8_t>(division >> 8);
        const int ticksPerFrame = division & 0xFF;
        if ((frames != 24 && frames != 25 && frames != 29 && frames != 30) || ticksPerFrame == 0)
            throw EInvalidMidiFile(fileName);
        smpteUs = frames == 29 ? 1001000000 : 1000000;
        smpteTicks = static_cast<unsigned __int128>(frames == 29 ? 30000 : frames) * ticksPerFrame;
    }

    std::vector<Event> events;
    std::vector<TempoChange> tempos;
    std::size_t at = 8 + headerLength;
    std::uint32_t tracks = 0;
    while (tracks < trackCount && file.size() - at >= 8) {
        const bool isTrack = std::memcmp(file.data() + at, "MTrk", 4) == 0;
        std::uint64_t length = BigEndian(file, at + 4, 4);
        at += 8;
        const bool cut = length > file.size() - at;
        if (cut) {
            length = file.size() - at;
            notes.truncated = isTrack;
        }
        if (isTrack) {
            std::span<const std::uint8_t> track = file.subspan(at, length);
            // Only the first track of this program's own files begins so.
            const std::size_t first = events.size();
            TrackReader(track, cut, fileName).Read(events, tempos, notes);
            if (tracks == 0 && format == 0 && StartsWithOwnPrelude(track, division) && events.size() - first >= 2)
                events.erase(events.begin() + std::ptrdiff_t(first), events.begin() + std::ptrdiff_t(first) + 2);
            ++tracks;
        }
        at += length;
    }
    if (tracks == 0)
        throw EInvalidMidiFile(fileName);

    // Tracks merged in time order; at the same time, in the file's order.
    const auto earlier = [](const Event &a, const Event &b) { return a.tick < b.tick; };
    if (!std::is_sorted(events.begin(), events.end(), earlier))
        std::stable_sort(events.begin(), events.end(), earlier);
    std::stable_sort(tempos.begin(), tempos.end(),
                     [](const TempoChange &a, const TempoChange &b) { return a.tick < b.tick; });

    std::vector<std::uint8_t> records;
    records.reserve(events.size() * recorder::RecordedEvent::kSize);
    // The time in µs × division (exact), at the last tempo change passed.
    unsigned __int128 changeTime = 0;
    std::uint64_t changeTick = 0;
    std::uint32_t tempo = kDefaultTempo;
    std::size_t nextTempo = 0;
    for (const Event &event : events) {
        std::uint64_t recordTick;
        if (smpte) {
            recordTick = Divide(event.tick * smpteUs + kUsPerRecordTick * smpteTicks / 2, kUsPerRecordTick * smpteTicks);
        } else {
            for (; nextTempo < tempos.size() && tempos[nextTempo].tick <= event.tick; ++nextTempo) {
                changeTime += static_cast<unsigned __int128>(tempos[nextTempo].tick - changeTick) * tempo;
                changeTick = tempos[nextTempo].tick;
                tempo = tempos[nextTempo].usPerQuarter;
            }
            const unsigned __int128 time = changeTime + static_cast<unsigned __int128>(event.tick - changeTick) * tempo;
            recordTick = Divide(time + kUsPerRecordTick * division / 2, kUsPerRecordTick * division);
        }
        if (recordTick > 0xFFFFFFFFu)
            throw EInvalidMidiFile(fileName); // longer than a recording can be
        const auto bytes =
            recorder::RecordedEvent{static_cast<std::uint32_t>(recordTick), event.status, event.data1, event.data2}
                .ToBytes();
        records.insert(records.end(), bytes.begin(), bytes.end());
    }
    return records;
}

MidiImportNotes ImportMidiFile(const std::string &fileName, recorder::RecordingStream &stream)
{
    MidiImportNotes notes;
    std::vector<std::uint8_t> records = MidiFileRecords(recorder::RecordingStream::ReadWholeFile(fileName), fileName, notes);
    recorder::RecordingStream imported;
    imported.Write(records.data(), records.size());
    imported.Seek(0, recorder::SeekOrigin::Begin);
    stream.Swap(imported);
    return notes;
}

} // namespace files
