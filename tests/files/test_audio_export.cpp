// A take saved as sound: the three formats read back with libsndfile, the
// render against FluidSynth's own render of the take's MIDI export, and the
// saves that fail or are given up.

#include "common/FileErrors.h"
#include "files/AudioExport.h"
#include "files/MidiExport.h"
#include "files/RecordingFiles.h"
#include "support/TestFiles.h"
#include "support/TestSoundFont.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <numeric>

using recorder::RecordedEvent;
using testfiles::ReadBytes;
using testfiles::TempDir;

namespace {

struct Sound {
    SF_INFO info{};
    std::vector<float> samples; // interleaved
    std::string title, date, software;
};

Sound ReadSound(const std::string &fileName)
{
    Sound sound;
    SNDFILE *file = sf_open(fileName.c_str(), SFM_READ, &sound.info);
    if (file == nullptr)
        throw std::runtime_error("libsndfile cannot read " + fileName);
    sound.samples.resize(static_cast<std::size_t>(sound.info.frames * sound.info.channels));
    sf_readf_float(file, sound.samples.data(), sound.info.frames);
    const auto text = [file](int which) {
        const char *value = sf_get_string(file, which);
        return std::string(value != nullptr ? value : "");
    };
    sound.title = text(SF_STR_TITLE);
    sound.date = text(SF_STR_DATE);
    sound.software = text(SF_STR_SOFTWARE);
    sf_close(file);
    return sound;
}

// RMS of both channels over windows of `frames`.
std::vector<double> Envelope(const Sound &sound, int frames)
{
    std::vector<double> envelope;
    const std::size_t window = static_cast<std::size_t>(frames) * 2;
    for (std::size_t at = 0; at + window <= sound.samples.size(); at += window) {
        double sum = 0;
        for (std::size_t i = at; i < at + window; ++i)
            sum += double(sound.samples[i]) * sound.samples[i];
        envelope.push_back(std::sqrt(sum / double(window)));
    }
    return envelope;
}

double Correlation(std::vector<double> a, std::vector<double> b)
{
    const std::size_t n = std::min(a.size(), b.size());
    a.resize(n);
    b.resize(n);
    const double meanA = std::accumulate(a.begin(), a.end(), 0.0) / double(n);
    const double meanB = std::accumulate(b.begin(), b.end(), 0.0) / double(n);
    double ab = 0, aa = 0, bb = 0;
    for (std::size_t i = 0; i < n; ++i) {
        ab += (a[i] - meanA) * (b[i] - meanB);
        aa += (a[i] - meanA) * (a[i] - meanA);
        bb += (b[i] - meanB) * (b[i] - meanB);
    }
    return ab / std::sqrt(aa * bb);
}

// Where the sound rises sharply (in ms): a 1 ms window three times as loud
// as the 20 ms before it, and above −40 dBFS; one per 100 ms at most.
std::vector<int> Onsets(const Sound &sound)
{
    const std::vector<double> envelope = Envelope(sound, files::kAudioSampleRate / 1000);
    std::vector<int> onsets;
    for (std::size_t ms = 20; ms < envelope.size(); ++ms) {
        const double before = std::accumulate(envelope.begin() + long(ms) - 20, envelope.begin() + long(ms), 0.0) / 20;
        if (envelope[ms] > 0.01 && envelope[ms] > 3 * before && (onsets.empty() || int(ms) - onsets.back() > 100))
            onsets.push_back(int(ms));
    }
    return onsets;
}

// Notes on channel 1 every 400 ms with a drum on every other, a bend and a
// volume change among them: 2 seconds.
std::vector<std::uint8_t> ShortTake()
{
    std::vector<RecordedEvent> events{{0, 0xC0, 0, 0}, {0, 0xB0, 7, 110}};
    for (std::uint32_t i = 0; i < 5; ++i) {
        const std::uint32_t tick = 4 + 8 * i;
        const auto key = static_cast<std::uint8_t>(60 + 4 * i);
        events.push_back({tick, 0x90, key, 100});
        if (i % 2 == 0)
            events.push_back({tick, 0x99, 38, 110});
        if (i == 2)
            events.push_back({tick + 2, 0xE0, 0, 0x50});
        events.push_back({tick + 4, 0x80, key, 0});
        if (i % 2 == 0)
            events.push_back({tick + 4, 0x89, 38, 0});
    }
    events.push_back({41, 0xE0, 0, 0x40});
    std::vector<std::uint8_t> bytes;
    for (const RecordedEvent &event : events) {
        const auto record = event.ToBytes();
        bytes.insert(bytes.end(), record.begin(), record.end());
    }
    return bytes;
}

constexpr double kLastRecordSeconds = 41 * 0.05;

recorder::RecordingStream StreamOf(const std::vector<std::uint8_t> &bytes)
{
    recorder::RecordingStream stream;
    stream.Write(bytes.data(), bytes.size());
    return stream;
}

// The take's MIDI export with each of its ticks split in 100 (division 1000
// instead of 10, the same tempo): the same times. FluidSynth's player plays
// an event once the time rounded to whole file ticks has come, up to half a
// tick early: 25 ms at the export's division, a quarter of a millisecond here.
files::FileBytes FineMidiFile(const std::vector<std::uint8_t> &take)
{
    files::FileBytes file(files::kMidiHeader.begin(), files::kMidiHeader.end());
    file[12] = 0x03;
    file[13] = 0xE8;
    files::WriteBlock(file, std::span(files::kTrackPrelude).first(files::kPreludeNoteOffDeltaOffset));
    const std::uint8_t preludeEnd[] = {0x64, 0x80, 0x00, 0x00}; // delta 100, Note Off
    files::WriteBlock(file, preludeEnd);
    std::uint32_t previous = files::kFirstEventTick;
    for (std::size_t at = 0; at + 7 <= take.size(); at += 7) {
        const auto event = RecordedEvent::FromBytes(std::span(take).subspan(at).first<7>());
        const std::uint32_t tick = std::max(event.tick, previous);
        files::WriteTrackEvent(file, (tick - previous) * 100, event.status, event.data1, event.data2);
        previous = tick;
    }
    files::WriteBlock(file, files::kTrackEnd);
    files::FileBytes length;
    files::WriteBigEndian32(length, static_cast<std::uint32_t>(file.size() - files::kTrackDataOffset));
    std::copy(length.begin(), length.end(), file.begin() + files::kTrackLengthOffset);
    return file;
}

class AudioExportTest : public ::testing::Test {
protected:
    void SetUp() override { testing_support::UseTestSoundFont(); }

    files::AudioRendering Rendering() const
    {
        files::AudioRendering rendering;
        rendering.soundFont = testing_support::kTestSoundFont;
        return rendering;
    }

    TempDir dir;
};

struct FormatCase {
    const char *name;
    int major;
    int subtype;
};

class AudioFormatTest : public AudioExportTest, public ::testing::WithParamInterface<FormatCase> {};

TEST_P(AudioFormatTest, ReadsBackAsTheTakeRendered)
{
    const FormatCase &format = GetParam();
    files::SaveRecording(dir.File(format.name), StreamOf(ShortTake()));

    const Sound sound = ReadSound(dir.File(format.name));
    EXPECT_EQ(sound.info.format & SF_FORMAT_TYPEMASK, format.major);
    EXPECT_EQ(sound.info.format & SF_FORMAT_SUBMASK, format.subtype);
    EXPECT_EQ(sound.info.samplerate, 48000);
    EXPECT_EQ(sound.info.channels, 2);
    // The last record, then the release until it has died away.
    const double seconds = double(sound.info.frames) / 48000;
    EXPECT_GT(seconds, kLastRecordSeconds + 0.1);
    EXPECT_LT(seconds, kLastRecordSeconds + 5.0);
    const float peak = *std::max_element(sound.samples.begin(), sound.samples.end(),
                                         [](float a, float b) { return std::abs(a) < std::abs(b); });
    EXPECT_GT(std::abs(peak), 0.05F);
    const float last = std::abs(sound.samples.back());
    EXPECT_LT(last, 0.001F) << "ends once died away";
    EXPECT_EQ(sound.title, "take");
    EXPECT_EQ(sound.date.size(), 10u) << sound.date;
    EXPECT_EQ(sound.software.rfind("MIDI Sonoret", 0), 0u) << sound.software;
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{format.name});
}

INSTANTIATE_TEST_SUITE_P(Formats, AudioFormatTest,
                         ::testing::Values(FormatCase{"take.WAV", SF_FORMAT_WAV, SF_FORMAT_PCM_16},
                                           FormatCase{"take.flac", SF_FORMAT_FLAC, SF_FORMAT_PCM_24},
                                           FormatCase{"take.Ogg", SF_FORMAT_OGG, SF_FORMAT_VORBIS}));

TEST_F(AudioExportTest, SoundsAsFluidSynthPlaysTheMidiExport)
{
    const std::vector<std::uint8_t> take = ShortTake();
    files::ExportAudioFile(dir.File("ours.wav"), files::AudioFormat::Wav, take, Rendering());
    testfiles::WriteBytes(dir.File("take.mid"), FineMidiFile(take));
    // The built-in synthesizer's settings: 48 kHz, gain 0.5.
    const std::string command = std::string("fluidsynth -niq -g 0.5 -r 48000 -F ") + dir.File("theirs.wav") + " "
                                + testing_support::kTestSoundFont + " " + dir.File("take.mid") + " >/dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;

    const Sound ours = ReadSound(dir.File("ours.wav"));
    const Sound theirs = ReadSound(dir.File("theirs.wav"));
    // A file tick of the export lasts 50 ms as a take's does; only records
    // at tick 0 move to the end of its prelude, and this take's notes start later.
    const std::vector<int> ourOnsets = Onsets(ours);
    const std::vector<int> theirOnsets = Onsets(theirs);
    ASSERT_EQ(ourOnsets.size(), 5u);
    ASSERT_EQ(theirOnsets.size(), ourOnsets.size());
    for (std::size_t i = 0; i < ourOnsets.size(); ++i) {
        EXPECT_NEAR(ourOnsets[i], 200 + 400 * int(i), 5) << i;
        EXPECT_NEAR(ourOnsets[i], theirOnsets[i], 5) << i;
    }
    EXPECT_GT(Correlation(Envelope(ours, 2400), Envelope(theirs, 2400)), 0.95);
}

TEST_F(AudioExportTest, FailedOrGivenUpSaveLeavesTheOldFile)
{
    const std::string target = dir.File("take.flac");
    testfiles::WriteText(target, "old");
    const std::vector<std::uint8_t> take = ShortTake();

    files::AudioRendering cancelled = Rendering();
    int reports = 0;
    cancelled.progress = [&](double done) {
        EXPECT_GE(done, 0.0);
        EXPECT_LE(done, 1.0);
        return ++reports < 2;
    };
    EXPECT_THROW(files::ExportAudioFile(target, files::AudioFormat::Flac, take, cancelled), files::ERenderCancelled);
    EXPECT_EQ(reports, 2);

    files::AudioRendering noSoundFont = Rendering();
    noSoundFont.soundFont = dir.File("missing.sf2");
    EXPECT_THROW(files::ExportAudioFile(target, files::AudioFormat::Flac, take, noSoundFont), files::ENoSoundFont);
    {
        const testfiles::FileSizeLimit fullDisk(4096);
        EXPECT_THROW(files::ExportAudioFile(target, files::AudioFormat::Flac, take, Rendering()),
                     common::EWriteError);
    }
    EXPECT_THROW(files::ExportAudioFile(dir.File("gone/take.wav"), files::AudioFormat::Wav, take, Rendering()),
                 common::EFCreateError);

    EXPECT_EQ(ReadBytes(target), (std::vector<std::uint8_t>{'o', 'l', 'd'}));
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"take.flac"});
}

TEST_F(AudioExportTest, ConverterWritesSoundFromEveryInput)
{
    const std::string converter = SONORET_BINARY_DIR "/src/files/midi-sonoret-convert";
    testfiles::WriteBytes(dir.File("take.vsq"), ShortTake());
    files::ExportMidiFile(dir.File("take.mid"), StreamOf(ShortTake()));
    testfiles::WriteText(dir.File("tones.vnx"), "262\r\n400\r\n50000\r\n0\r\n100\r\n\r\n440\r\n250\r\n65535\r\n");
    const std::pair<const char *, const char *> conversions[] = {
        {"take.vsq", "a.flac"}, {"take.mid", "b.wav"}, {"tones.vnx", "c.ogg"}};
    for (const auto &[input, output] : conversions) {
        const std::string command = converter + " " + dir.File(input) + " " + dir.File(output);
        EXPECT_EQ(std::system(command.c_str()), 0) << command;
        const Sound sound = ReadSound(dir.File(output));
        EXPECT_EQ(sound.info.samplerate, 48000) << output;
        EXPECT_GT(sound.info.frames, 48000 / 4) << output;
    }
}

} // namespace
