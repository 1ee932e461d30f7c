#pragma once
// A take saved as sound: played offline through the built-in synthesizer
// (FluidSynth with the SoundFont and settings it plays live with), as fast
// as the machine renders, and written through libsndfile as WAV, FLAC or
// Ogg Vorbis, 48 kHz stereo. Every record sounds at its 50 ms tick, as
// playback sends it; the file ends once the last sound has died away.

#include "common/FileErrors.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

namespace files {

inline constexpr std::string_view kWavKey = ".WAV";
inline constexpr std::string_view kFlacKey = ".FLA"; // ".flac" cut to its key
inline constexpr std::string_view kOggKey = ".OGG";

enum class AudioFormat { Wav, Flac, Ogg };

// The format an extension key names, if it names one.
std::optional<AudioFormat> AudioFormatOfKey(std::string_view key);

inline constexpr int kAudioSampleRate = 48000;
inline constexpr int kAudioChannels = 2;
inline constexpr int kFramesPerTick = kAudioSampleRate / 20; // a take's tick: 50 ms
// The level below which the sound counts as died away: −90 dBFS.
inline constexpr float kSilenceLevel = 3.1622777e-5F;
// How long after the last record the sound may ring on at most.
inline constexpr int kMaxTailFrames = 5 * kAudioSampleRate;
// Ogg Vorbis quality 0.6 (0 to 1): about 190 kbit/s for music.
inline constexpr double kVorbisQuality = 0.6;

// "Für den eingebauten Synthesizer ist keine SoundFont installiert."
class ENoSoundFont : public common::EStreamError {
public:
    ENoSoundFont();
};

// The user gave the save up; nothing of the file was left behind.
class ERenderCancelled : public std::runtime_error {
public:
    ERenderCancelled();
};

struct AudioRendering {
    // The SoundFont to play; empty: the one the built-in synthesizer loads.
    std::string soundFont;
    // The title in the tags; empty: the file's name without folder and extension.
    std::string title;
    // Told the share rendered (0 to 1) now and then, on the rendering
    // thread; false gives the save up.
    std::function<bool(double done)> progress;
    // The instrument playback selects before the take (the stored one), as
    // a Program Change on channel 1 ahead of the first record: a take that
    // brings no instrument of its own (an imported file) sounds with it.
    std::optional<std::uint8_t> program;
};

// Renders the records (7-byte records as in a recording file; an incomplete
// last one is left out) into the file. The file appears only once complete;
// an existing one stays as it was on any failure. Raises EFCreateError,
// EWriteError, ENoSoundFont, ERenderCancelled, or the synthesizer's error
// (midi_out::EmidioutputError).
void ExportAudioFile(const std::string &fileName, AudioFormat format, std::span<const std::uint8_t> records,
                     const AudioRendering &rendering = {});

} // namespace files
