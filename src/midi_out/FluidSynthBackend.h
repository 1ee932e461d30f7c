#pragma once
// The built-in synthesizer: one device, a General MIDI SoundFont played by
// FluidSynth, so that a user without an external synthesizer hears notes at
// once. The first open only looks for the SoundFont; loading it and starting
// the audio output take a while and run on a thread of their own, so that the
// window need not wait. Messages sent meanwhile are kept and played, in order,
// as soon as the synth is ready: the instrument chosen at start-up and the
// first notes are not lost. What fails there (an unreadable SoundFont, no
// audio output) is the answer to every send after it, until an open succeeds.
// Synth and audio output stay up between close and reopen, and a close
// silences them.
//
// With JACK as its audio output, the output goes when the JACK server goes;
// sends then fail with the missing audio output, and the next open looks for
// an output again.
//
// Environment:
//   MIDI_SONORET_SOUNDFONT      the SoundFont to load (else the first of the
//                               usual General MIDI SoundFonts that exists)
//   MIDI_SONORET_AUDIO_DRIVER   FluidSynth's audio driver to use (else the
//                               first of pulseaudio, alsa, jack, oss that opens)
//   MIDI_SONORET_AUDIO_FILE     the WAV file that the "file" driver writes
//   MIDI_SONORET_AUDIO_PERIOD   frames per audio period (16..8192; else 64)
//   MIDI_SONORET_AUDIO_PERIODS  audio periods buffered (2..64; else 3), for
//                               machines that cannot keep up with 4 ms

#include "midi_out/BackendSupport.h"
#include "midi_out/CompletionThread.h"
#include "midi_out/JackSupport.h"
#include "midi_out/MidiBackend.h"

#include <array>
#include <atomic>
#include <chrono>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

struct _fluid_hashtable_t;
struct _fluid_synth_t;
struct _fluid_audio_driver_t;

namespace midi_out {

class FluidSynthBackend : public MidiBackend, private JackClientOwner {
public:
    // Offline: no audio driver runs; the owner pulls samples with Render().
    enum class Output { Audio, Offline };
    // OnDemand: a preset's samples are read when a channel selects it (the
    // Program Change, in the thread that sends it, before the next message)
    // and let go when no channel has it; a General MIDI SoundFont of 150 MB
    // then costs what its chosen instruments need. All: every sample is read
    // at the start.
    enum class SampleLoading { OnDemand, All };

    static constexpr const char *DeviceName = "FluidSynth (built-in)";
    static constexpr int Polyphony = 256;
    static constexpr int SampleRate = 48000;
    // Audio buffering: small periods, few of them, for a short delay from key
    // to sound: 3 x 64 frames at 48 kHz = 4 ms.
    static constexpr int PeriodSize = 64;
    static constexpr int Periods = 3;

    // `soundFont`: the SoundFont to load; empty: the one FindSoundFont() names.
    explicit FluidSynthBackend(Output output = Output::Audio, SampleLoading loading = SampleLoading::OnDemand,
                               std::string soundFont = {});
    ~FluidSynthBackend() override;
    FluidSynthBackend(const FluidSynthBackend &) = delete;
    FluidSynthBackend &operator=(const FluidSynthBackend &) = delete;

    // The audio buffering an open sets up: the defaults above, or what the
    // environment names; a value that is no number in range is not used.
    struct Buffering {
        int periodSize;
        int periods;
    };
    static Buffering AudioBuffering();

    // The SoundFont that an open would load, if any.
    static std::optional<std::string> FindSoundFont();
    // The audio drivers that an open tries, in order.
    static std::vector<std::string> AudioDriverCandidates();

    std::uint32_t DeviceCount() override;
    MidiResult GetDevCaps(std::int32_t deviceId, MidiOutCaps *caps, std::uint32_t size) override;
    MidiResult Open(DeviceHandle *handle, std::int32_t deviceId, DriverCallbackProc callback,
                    std::uintptr_t instance, std::uint32_t flags) override;
    MidiResult Close(DeviceHandle handle) override;
    MidiResult ShortMessage(DeviceHandle handle, std::uint32_t message) override;
    // A System Exclusive message acts on the synth: GM, GS and XG resets,
    // master volume, tuning. The rest is ignored, and so are other long
    // messages, as by any synthesizer.
    MidiResult PrepareHeader(DeviceHandle handle, MIDIHDR *header, std::uint32_t size) override;
    MidiResult LongMessage(DeviceHandle handle, MIDIHDR *header, std::uint32_t size) override;
    MidiResult UnprepareHeader(DeviceHandle handle, MIDIHDR *header, std::uint32_t size) override;
    // Another back end's source may play the synth from its own thread
    // (FluidSynth takes calls from any thread), once the synth is ready.
    ThruTarget *ThruTargetOf(DeviceHandle output) override;

    // Waits until the start begun by an open has ended; the open's result
    // (0 when the synth plays).
    MidiResult WaitUntilReady();
    // Offline output only, once ready: renders `frames` stereo frames.
    bool Render(int frames, float *left, float *right);
    // The audio driver that plays the synth; empty while none does.
    const std::string &audioDriver() const { return driverName_; }

    // Most messages kept while the synth starts; a player sends a few.
    static constexpr std::size_t MaxWaitingMessages = 4096;

private:
    enum class Start { Idle, Running, Ready, Failed };
    using Message = std::array<std::uint8_t, 3>;

    // On the starting thread: whatever is missing of synth and audio output.
    void StartUp(std::string soundFont);
    MidiResult Load(const std::string &soundFont);
    // `waitForCalls`: how long a call that another thread makes to the JACK
    // server meanwhile is waited for before JACK audio is given up.
    MidiResult StartAudio(std::chrono::milliseconds waitForCalls);
    void JoinStart();
    void Dispatch(const std::uint8_t *bytes);
    // The bytes between F0 and F7.
    void SystemExclusive(const std::uint8_t *body, std::uint32_t length);
    void Silence();
    bool AudioLost() const;
    void DropClientsOfLostServer() override;

    class SynthThru final : public ThruTarget {
    public:
        explicit SynthThru(FluidSynthBackend &synth) : synth_(synth) {}
        bool Forward(const std::uint8_t *bytes, std::size_t length) noexcept override;

    private:
        FluidSynthBackend &synth_;
    };

    Output output_;
    SampleLoading loading_;
    std::string soundFont_;
    _fluid_hashtable_t *settings_ = nullptr;
    _fluid_synth_t *synth_ = nullptr;
    _fluid_audio_driver_t *driver_ = nullptr;
    std::string driverName_;
    std::atomic<bool> jackAudio_{false}; // the audio output is a JACK client
    JackClient audioWatch_; // with JACK audio: learns when the server goes
    std::atomic<bool> audioGone_{false}; // the audio output went with its JACK server

    std::thread starter_;
    std::mutex mutex_; // guards start_, startResult_ and waiting_ while starting
    Start start_ = Start::Idle;
    std::atomic<bool> ready_{false};
    MidiResult startResult_ = 0;
    std::vector<Message> waiting_;

    ShortMessageFramer framer_;
    DeviceHandle handle_ = 0;
    DeviceHandle nextHandle_ = 1;
    DriverCallbackProc callback_ = nullptr;
    std::uintptr_t instance_ = 0;
    CompletionThread completions_;
    std::atomic<bool> thruOpen_{false}; // the device is open for MIDI thru
    SynthThru thru_{*this};
};

} // namespace midi_out
