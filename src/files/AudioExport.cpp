#include "files/AudioExport.h"

#include "common/AtomicFileWriter.h"
#include "common/Version.h"
#include "midi_out/FluidSynthBackend.h"
#include "midi_out/MidiErrors.h"
#include "midi_out/MidiOut.h"
#include "recorder/RecordingStream.h"

#include <sndfile.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <ctime>
#include <exception>
#include <filesystem>
#include <memory>
#include <vector>

namespace files {

namespace {

constexpr int kBlockFrames = kFramesPerTick;
// The tail is looked at in short blocks, so that the file ends close to
// where the sound has died away.
constexpr int kTailBlockFrames = kAudioSampleRate / 100;

struct FormatEntry {
    std::string_view key;
    AudioFormat format;
    int libraryFormat;
};
constexpr std::array kFormats{
    FormatEntry{kWavKey, AudioFormat::Wav, SF_FORMAT_WAV | SF_FORMAT_PCM_16},
    FormatEntry{kFlacKey, AudioFormat::Flac, SF_FORMAT_FLAC | SF_FORMAT_PCM_24},
    FormatEntry{kOggKey, AudioFormat::Ogg, SF_FORMAT_OGG | SF_FORMAT_VORBIS},
};

// libsndfile writes through these calls into the crash-safe writer. They
// run inside the library's C code: a failure is kept and raised once the
// library has returned.
struct Sink {
    common::AtomicFileWriter &writer;
    sf_count_t position = 0;
    std::exception_ptr failure;

    static Sink &Of(void *data) { return *static_cast<Sink *>(data); }

    static sf_count_t Length(void *data) { return static_cast<sf_count_t>(Of(data).writer.Size()); }

    static sf_count_t Seek(sf_count_t offset, int whence, void *data)
    {
        Sink &sink = Of(data);
        const sf_count_t base =
            whence == SEEK_CUR ? sink.position : whence == SEEK_END ? Length(data) : 0;
        if (sink.failure || base + offset < 0)
            return -1;
        try {
            sink.writer.SeekTo(static_cast<std::uint64_t>(base + offset));
        } catch (...) {
            sink.failure = std::current_exception();
            return -1;
        }
        sink.position = base + offset;
        return sink.position;
    }

    // Nothing is read back from a file being written.
    static sf_count_t Read(void *, sf_count_t, void *) { return 0; }

    static sf_count_t Write(const void *bytes, sf_count_t count, void *data)
    {
        Sink &sink = Of(data);
        if (sink.failure)
            return 0;
        try {
            sink.writer.Write(bytes, static_cast<std::size_t>(count));
        } catch (...) {
            sink.failure = std::current_exception();
            return 0;
        }
        sink.position += count;
        return count;
    }

    static sf_count_t Tell(void *data) { return Of(data).position; }

    void RaiseIfFailed() const
    {
        if (failure)
            std::rethrow_exception(failure);
    }
};

struct CloseFile {
    void operator()(SNDFILE *file) const { sf_close(file); }
};
using SoundFile = std::unique_ptr<SNDFILE, CloseFile>;

std::string Today()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char date[16] = {};
    std::strftime(date, sizeof date, "%Y-%m-%d", &local);
    return date;
}

// The synthesizer, offline, with the SoundFont chosen.
class OfflineSynth {
public:
    explicit OfflineSynth(const std::string &soundFont)
        : synth_(midi_out::FluidSynthBackend::Output::Offline, midi_out::FluidSynthBackend::SampleLoading::OnDemand,
                 soundFont)
    {
        Check(synth_.Open(&handle_, 0, nullptr, 0, 0));
        Check(synth_.WaitUntilReady());
    }
    ~OfflineSynth() { synth_.Close(handle_); }
    OfflineSynth(const OfflineSynth &) = delete;
    OfflineSynth &operator=(const OfflineSynth &) = delete;

    void Send(const recorder::RecordedEvent &event)
    {
        // A message the synthesizer cannot take would not have sounded in
        // playback either.
        (void)synth_.ShortMessage(handle_, event.status | event.data1 << 8 | event.data2 << 16);
    }

    void Render(int frames, float *left, float *right)
    {
        if (!synth_.Render(frames, left, right))
            throw midi_out::EmidioutputError(synth_.ErrorText(midi_out::MIDIERR_UNSPECIFIED));
    }

private:
    void Check(midi_out::MidiResult result)
    {
        if (result == midi_out::MIDIERR_NOSOUNDFONT)
            throw ENoSoundFont();
        if (result != midi_out::MIDIERR_NOERROR)
            throw midi_out::EmidioutputError(synth_.ErrorText(result));
    }

    midi_out::FluidSynthBackend synth_;
    midi_out::DeviceHandle handle_ = 0;
};

class Renderer {
public:
    Renderer(OfflineSynth &synth, SNDFILE *file, const Sink &sink, const AudioRendering &rendering,
             std::uint64_t length)
        : synth_(synth), file_(file), sink_(sink), rendering_(rendering), length_(std::max<std::uint64_t>(length, 1))
    {
    }

    // Renders the sound up to `frame`.
    void RenderTo(std::uint64_t frame)
    {
        while (rendered_ < frame)
            Write(Block(static_cast<int>(std::min<std::uint64_t>(frame - rendered_, kBlockFrames))));
    }

    // Renders on while the sound rings, at most kMaxTailFrames.
    void RenderTail()
    {
        for (int tail = 0; tail < kMaxTailFrames; tail += kTailBlockFrames) {
            const int frames = Block(kTailBlockFrames);
            const auto end = interleaved_.begin() + 2 * frames;
            if (std::none_of(interleaved_.begin(), end, [](float sample) { return std::abs(sample) >= kSilenceLevel; }))
                return;
            Write(frames);
        }
    }

    // Tells the progress; every block does, so that a cancel is heard
    // within 50 ms of sound.
    void Report(double done) const
    {
        if (rendering_.progress && !rendering_.progress(done))
            throw ERenderCancelled();
    }

private:
    int Block(int frames)
    {
        left_.resize(static_cast<std::size_t>(frames));
        right_.resize(static_cast<std::size_t>(frames));
        synth_.Render(frames, left_.data(), right_.data());
        interleaved_.resize(2 * static_cast<std::size_t>(frames));
        for (std::size_t i = 0; i < left_.size(); ++i) {
            interleaved_[2 * i] = left_[i];
            interleaved_[2 * i + 1] = right_[i];
        }
        return frames;
    }

    void Write(int frames)
    {
        if (sf_writef_float(file_, interleaved_.data(), frames) != frames) {
            sink_.RaiseIfFailed();
            throw common::EWriteError();
        }
        rendered_ += static_cast<std::uint64_t>(frames);
        Report(std::min(1.0, static_cast<double>(rendered_) / static_cast<double>(length_)));
    }

    OfflineSynth &synth_;
    SNDFILE *file_;
    const Sink &sink_;
    const AudioRendering &rendering_;
    std::uint64_t length_;
    std::uint64_t rendered_ = 0;
    std::vector<float> left_, right_, interleaved_;
};

std::vector<recorder::RecordedEvent> EventsOf(std::span<const std::uint8_t> records)
{
    using recorder::RecordedEvent;
    std::vector<RecordedEvent> events;
    events.reserve(records.size() / RecordedEvent::kSize);
    for (std::size_t at = 0; at + RecordedEvent::kSize <= records.size(); at += RecordedEvent::kSize)
        events.push_back(RecordedEvent::FromBytes(records.subspan(at).first<RecordedEvent::kSize>()));
    return events;
}

// The frame at which playback sends each event: at its tick, compared as a
// signed value, and never before the event ahead of it.
std::vector<std::uint64_t> FramesOf(const std::vector<recorder::RecordedEvent> &events)
{
    std::vector<std::uint64_t> frames;
    frames.reserve(events.size());
    std::int64_t tick = 0;
    for (const auto &event : events) {
        tick = std::max<std::int64_t>(tick, event.SignedTick());
        frames.push_back(static_cast<std::uint64_t>(tick) * kFramesPerTick);
    }
    return frames;
}

void SetTags(SNDFILE *file, const std::string &fileName, const AudioRendering &rendering)
{
    const std::string title =
        rendering.title.empty() ? std::filesystem::path(fileName).stem().string() : rendering.title;
    const std::string software = std::string("MIDI Sonoret ") + common::ProgramVersion;
    const std::string date = Today();
    sf_set_string(file, SF_STR_TITLE, title.c_str());
    sf_set_string(file, SF_STR_DATE, date.c_str());
    sf_set_string(file, SF_STR_SOFTWARE, software.c_str());
}

} // namespace

ENoSoundFont::ENoSoundFont()
    : common::EStreamError("Für den eingebauten Synthesizer ist keine SoundFont installiert.")
{
}

ERenderCancelled::ERenderCancelled() : std::runtime_error("cancelled") {}

std::optional<AudioFormat> AudioFormatOfKey(std::string_view key)
{
    for (const FormatEntry &entry : kFormats)
        if (entry.key == key)
            return entry.format;
    return std::nullopt;
}

void ExportAudioFile(const std::string &fileName, AudioFormat format, std::span<const std::uint8_t> records,
                     const AudioRendering &rendering)
{
    // The SoundFont is looked for before the file is touched.
    std::string soundFont = rendering.soundFont;
    if (soundFont.empty())
        soundFont = midi_out::FluidSynthBackend::FindSoundFont().value_or(std::string());
    if (soundFont.empty())
        throw ENoSoundFont();

    common::AtomicFileWriter writer(fileName);
    Sink sink{writer, 0, {}};
    SF_VIRTUAL_IO io{&Sink::Length, &Sink::Seek, &Sink::Read, &Sink::Write, &Sink::Tell};
    SF_INFO info{};
    info.samplerate = kAudioSampleRate;
    info.channels = kAudioChannels;
    info.format = std::find_if(kFormats.begin(), kFormats.end(), [&](const FormatEntry &entry) {
                      return entry.format == format;
                  })->libraryFormat;
    SoundFile file(sf_open_virtual(&io, SFM_WRITE, &info, &sink));
    if (!file) {
        sink.RaiseIfFailed();
        throw common::EFCreateError(fileName);
    }
    // Sound louder than full scale is clipped, not wrapped round.
    sf_command(file.get(), SFC_SET_CLIPPING, nullptr, SF_TRUE);
    if (format == AudioFormat::Ogg) {
        double quality = kVorbisQuality;
        sf_command(file.get(), SFC_SET_VBR_ENCODING_QUALITY, &quality, sizeof quality);
    }
    // Before the first sample: FLAC and Ogg write their tags at the start.
    SetTags(file.get(), fileName, rendering);

    const std::vector<recorder::RecordedEvent> events = EventsOf(records);
    const std::vector<std::uint64_t> frames = FramesOf(events);
    OfflineSynth synth(soundFont);
    Renderer renderer(synth, file.get(), sink, rendering, frames.empty() ? 0 : frames.back());
    renderer.Report(0.0); // the SoundFont may have taken a while
    if (rendering.program)
        synth.Send({0, 0xC0, *rendering.program, 0});
    for (std::size_t i = 0; i < events.size(); ++i) {
        renderer.RenderTo(frames[i]);
        synth.Send(events[i]);
    }
    renderer.RenderTail();
    // Given up at the very end, the save still leaves nothing.
    renderer.Report(1.0);

    // The header's sizes and the encoders' last pages are written on close.
    const int closed = sf_close(file.release());
    sink.RaiseIfFailed();
    if (closed != 0)
        throw common::EWriteError();
    writer.Commit();
}

} // namespace files
