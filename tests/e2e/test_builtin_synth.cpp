// The built-in synthesizer as a user hears it: a note played through the
// window sounds in the audio it renders, and "Angehalten" silences it at once
// instead of letting it ring out. The synthesizer renders into a WAV file at the pace
// of real time, so the end of the growing file is what sounds now.

#include "support/HangBound.h"
#include "e2e/PlayingWindow.h"

#include <gtest/gtest.h>

#include <X11/XKBlib.h>
#include <X11/keysym.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <optional>

namespace e2e {
namespace {

using std::chrono::milliseconds;

// The sample layout of a WAV file and where its samples begin.
struct WavFormat {
    int channels = 0;
    int rate = 0;
    int bits = 0;
    bool floating = false;
    std::size_t dataOffset = 0;
};

std::uint32_t Le32(const Bytes &b, std::size_t at) { return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | std::uint32_t(b[at + 3]) << 24; }
std::uint16_t Le16(const Bytes &b, std::size_t at) { return std::uint16_t(b[at] | b[at + 1] << 8); }

// Walks the RIFF chunks up to "data"; nothing while the header is incomplete
// or not a PCM or float WAV. The size in the "data" chunk is not used: a file
// still being written may not have it yet.
std::optional<WavFormat> ReadWavFormat(const Bytes &file)
{
    if (file.size() < 12 || std::memcmp(file.data(), "RIFF", 4) != 0 || std::memcmp(file.data() + 8, "WAVE", 4) != 0)
        return std::nullopt;
    WavFormat format;
    for (std::size_t at = 12; at + 8 <= file.size();) {
        const std::uint32_t size = Le32(file, at + 4);
        if (std::memcmp(file.data() + at, "fmt ", 4) == 0 && at + 8 + 16 <= file.size()) {
            const std::uint16_t tag = Le16(file, at + 8);
            format.channels = Le16(file, at + 10);
            format.rate = int(Le32(file, at + 12));
            format.bits = Le16(file, at + 22);
            // WAVE_FORMAT_EXTENSIBLE names the real format in its sub-format.
            const std::uint16_t kind = tag == 0xFFFE && at + 8 + 26 <= file.size() ? Le16(file, at + 32) : tag;
            format.floating = kind == 3;
            if (kind != 1 && kind != 3)
                return std::nullopt;
        } else if (std::memcmp(file.data() + at, "data", 4) == 0) {
            format.dataOffset = at + 8;
            if (format.channels == 0 || (format.bits != 16 && format.bits != 32))
                return std::nullopt;
            return format;
        }
        at += 8 + size + (size & 1);
    }
    return std::nullopt;
}

// Peak and RMS level of a stretch of samples, all channels, full scale 1.
struct Level {
    double peak = 0;
    double rms = 0;
    double RmsDb() const { return 20 * std::log10(std::max(rms, 1e-9)); }
    double PeakDb() const { return 20 * std::log10(std::max(peak, 1e-9)); }
};

// The rendered audio as it grows on disk.
class RenderedAudio {
public:
    explicit RenderedAudio(std::string path) : path_(std::move(path)) {}

    // The frames rendered so far; reads the header the first time it is there.
    std::size_t Frames()
    {
        Load();
        return format_ ? (file_.size() - format_->dataOffset) / FrameSize() : 0;
    }
    int Rate() const { return format_ ? format_->rate : 0; }

    // The level of frames [from, to) as last loaded.
    Level LevelOf(std::size_t from, std::size_t to) const
    {
        Level level;
        double sum = 0;
        std::size_t count = 0;
        for (std::size_t frame = from; frame < to; ++frame)
            for (int channel = 0; channel < format_->channels; ++channel) {
                const double sample = Sample(format_->dataOffset + frame * FrameSize() + std::size_t(channel) * (format_->bits / 8));
                level.peak = std::max(level.peak, std::abs(sample));
                sum += sample * sample;
                ++count;
            }
        level.rms = count ? std::sqrt(sum / double(count)) : 0;
        return level;
    }

    // The level of the last `time` rendered, once that much is there.
    Level Tail(milliseconds time)
    {
        const std::size_t frames = Frames();
        const std::size_t span = std::size_t(Rate()) * std::size_t(time.count()) / 1000;
        return LevelOf(frames > span ? frames - span : 0, frames);
    }

private:
    void Load()
    {
        std::ifstream file(path_, std::ios::binary);
        file_.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
        if (!format_)
            format_ = ReadWavFormat(file_);
        if (format_ && file_.size() < format_->dataOffset)
            file_.resize(format_->dataOffset);
    }
    std::size_t FrameSize() const { return std::size_t(format_->channels) * std::size_t(format_->bits / 8); }
    double Sample(std::size_t at) const
    {
        if (format_->bits == 16)
            return double(std::int16_t(Le16(file_, at))) / 32768.0;
        const std::uint32_t raw = Le32(file_, at);
        if (format_->floating) {
            float value;
            std::memcpy(&value, &raw, sizeof value);
            return value;
        }
        return double(std::int32_t(raw)) / 2147483648.0;
    }

    std::string path_;
    Bytes file_;
    std::optional<WavFormat> format_;
};

// Sounding: a held piano note renders near -34 dBFS RMS.
constexpr double SoundingRmsDb = -45.0;
// Silent: the rendering's dither is near -90 dBFS, and the reset that
// silences the synthesizer leaves a blip near -76 dBFS.
constexpr double SilentPeak = 0.001; // -60 dBFS

TEST_F(PlayingWindow, BuiltInSynthSoundsWhileAKeyIsHeldAndStopSilencesIt)
{
    program = std::make_unique<ProgramUnderTest>(display, "[Device]\nID=0\nName=FluidSynth (built-in)\n[Common]\n");
    ASSERT_TRUE(program->WaitForWindow()) << "the main window did not show; see " << program->Folder();
    RenderedAudio audio(program->Folder() + "/synth.wav");
    // Ready once the synthesizer renders: its file exists and grows.
    ASSERT_TRUE(PollUntil([&] { return audio.Frames() > 0; }, std::chrono::seconds(10)))
        << "the synthesizer rendered nothing into " << program->Folder() << "/synth.wav";
    const std::size_t first = audio.Frames();
    ASSERT_TRUE(PollUntil([&] { return audio.Frames() > first + std::size_t(audio.Rate()) / 10; }, testing_support::kHangBound))
        << "the rendered audio does not grow";
    const Level before = audio.Tail(milliseconds(100));
    EXPECT_LT(before.peak, SilentPeak) << "sound before any key was played";

    // A held PC key; keys typed before the window has taken the focus in are
    // lost, so the key goes down again until the note is heard. The server
    // repeats held keys quickly, as many times as a long hold would.
    ASSERT_TRUE(XkbSetAutoRepeatRate(display.Connection(), XkbUseCoreKbd, 100, 10));
    program->GiveFocus();
    const XInput in(display.Connection());
    const unsigned z = in.KeycodeOf(XK_z);
    const auto heard = [&] { return audio.Tail(milliseconds(20)).RmsDb() > SoundingRmsDb; };
    const auto silent = [&] { return audio.Tail(milliseconds(20)).peak < SilentPeak; };
    bool played = false;
    for (int attempt = 0; attempt < 20 && !played; ++attempt) {
        in.Key(z, true);
        played = PollUntil(heard, milliseconds(400));
        if (!played)
            in.Key(z, false);
    }
    ASSERT_TRUE(played) << "a held key was never heard";
    // Still sounding a third of a second on, the key held all the while.
    const auto renderedFor = [&](std::size_t from, std::size_t frames) {
        return PollUntil([&] { return audio.Frames() > from + frames; }, testing_support::kHangBound);
    };
    ASSERT_TRUE(renderedFor(audio.Frames(), std::size_t(audio.Rate()) / 3));
    const Level sounding = audio.Tail(milliseconds(100));
    EXPECT_GT(sounding.RmsDb(), SoundingRmsDb);

    // Let go, the note rings out by itself.
    const auto since = [](Clock::time_point start) {
        return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    };
    auto start = Clock::now();
    in.Key(z, false);
    ASSERT_TRUE(PollUntil(silent, testing_support::kHangBound)) << "the note never ended";
    const double ringsOutMs = since(start);

    // Played again and "Angehalten" while the key is still held: silent at
    // once, long before the note would have rung out, and it stays so while
    // the key stays down (and the server repeats it).
    in.Key(z, true);
    ASSERT_TRUE(PollUntil(heard, std::chrono::seconds(2))) << "the key was not heard again";
    ASSERT_TRUE(renderedFor(audio.Frames(), std::size_t(audio.Rate()) / 5));
    start = Clock::now();
    Click(StopButton);
    EXPECT_TRUE(PollUntil(silent, testing_support::kHangBound)) << "sounding after \"Angehalten\"";
    const double stoppedMs = since(start);
    EXPECT_LT(stoppedMs, ringsOutMs / 2) << "the note rang out instead of stopping";
    const std::size_t silentFrom = audio.Frames();
    ASSERT_TRUE(renderedFor(silentFrom, std::size_t(audio.Rate()) / 2));
    const Level after = audio.LevelOf(silentFrom, audio.Frames());
    EXPECT_LT(after.peak, SilentPeak);
    in.Key(z, false);

    std::printf("built-in synth: held note %.1f dBFS RMS (peak %.1f dBFS); silent %.0f ms after the key is let go, "
                "%.0f ms after \"Angehalten\", then peak %.1f dBFS over half a second\n",
                sounding.RmsDb(), sounding.PeakDb(), ringsOutMs, stoppedMs, after.PeakDb());
    RecordProperty("held_note_rms_dbfs", std::to_string(sounding.RmsDb()));
    RecordProperty("after_stop_peak_dbfs", std::to_string(after.PeakDb()));
}

} // namespace
} // namespace e2e
