#include "midi_out/FluidSynthBackend.h"

#include "midi_out/FluidSynthLibrary.h"

#include "midi_out/MidiErrors.h"

#include <fluidsynth.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>

#include <charconv>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace midi_out {

namespace {

constexpr const char *SoundFontVariable = "MIDI_SONORET_SOUNDFONT";
constexpr const char *AudioDriverVariable = "MIDI_SONORET_AUDIO_DRIVER";
constexpr const char *AudioFileVariable = "MIDI_SONORET_AUDIO_FILE";

constexpr const char *StandardSoundFonts[] = {
    "/usr/share/sounds/sf2/default-GM.sf2",
    "/usr/share/sounds/sf2/FluidR3_GM.sf2",
    "/usr/share/sounds/sf2/TimGM6mb.sf2",
};

// pulseaudio also reaches PipeWire; jack only when a server runs (none is
// started); sdl2 is left out, it needs the program to initialise SDL first.
constexpr const char *DesktopAudioDrivers[] = {"pulseaudio", "alsa", "jack", "oss"};

// How long the end waits for the audio to render the last sounds: the
// silencing of a close and the start of a note's release.
constexpr std::chrono::milliseconds LastSoundBound{100};

const char *Environment(const char *name)
{
    const char *value = std::getenv(name);
    return value != nullptr && *value != '\0' ? value : nullptr;
}

bool IsRegularFile(const std::string &path)
{
    std::error_code error;
    return std::filesystem::is_regular_file(path, error);
}

// FluidSynth locks each sample it reads into memory, one by one as the
// instruments are chosen, until the limit on locked memory is used up (with
// a large SoundFont's piano alone). libjack locks a page for every client it
// opens, the synth's own audio output among them: under a limit (8 MB by
// default) that page is then refused and the client does not open. Only
// without a limit is there room for both.
bool MayLockSamples()
{
    rlimit limit{};
    return getrlimit(RLIMIT_MEMLOCK, &limit) == 0 && limit.rlim_cur == RLIM_INFINITY;
}

// Whether a page could be locked now, as a new JACK client's is.
bool LockedMemoryLeft()
{
    const long page = sysconf(_SC_PAGESIZE);
    void *probe = mmap(nullptr, static_cast<std::size_t>(page), PROT_READ | PROT_WRITE,
                       MAP_PRIVATE | MAP_ANONYMOUS | MAP_LOCKED, -1, 0);
    if (probe == MAP_FAILED)
        return false;
    munmap(probe, static_cast<std::size_t>(page));
    return true;
}

} // namespace

FluidSynthBackend::FluidSynthBackend(Output output, SampleLoading loading, std::string soundFont)
    : output_(output), loading_(loading), soundFont_(std::move(soundFont))
{
    PrepareSoundLibraries();
}

FluidSynthBackend::~FluidSynthBackend()
{
    JoinStart();
    // What was played last (a Note Off, a close's silencing) is rendered
    // before the output goes; cut off, the output would end on the note.
    // A voice ends only once the audio has rendered its end.
    if (driver_ != nullptr && !AudioLost()) {
        const auto end = std::chrono::steady_clock::now() + LastSoundBound;
        while (fluid_synth_get_active_voice_count(synth_) > 0 && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    audioWatch_.reset();
    auto tearDown = [driver = driver_, synth = synth_, settings = settings_] {
        if (driver != nullptr)
            delete_fluid_audio_driver(driver);
        if (synth != nullptr)
            delete_fluid_synth(synth);
        if (settings != nullptr)
            delete_fluid_settings(settings);
    };
    // A JACK output closes through the server, which may not answer.
    if (driverName_ == "jack")
        RunBounded(tearDown);
    else
        tearDown();
}

void FluidSynthBackend::JoinStart()
{
    if (starter_.joinable())
        starter_.join();
}

std::optional<std::string> FluidSynthBackend::FindSoundFont()
{
    // A SoundFont named by the user is taken or nothing is: falling back to
    // another one would hide the mistake.
    if (const char *chosen = Environment(SoundFontVariable))
        return IsRegularFile(chosen) ? std::optional<std::string>(chosen) : std::nullopt;
    for (const char *path : StandardSoundFonts) {
        if (IsRegularFile(path))
            return std::string(path);
    }
    return std::nullopt;
}

std::vector<std::string> FluidSynthBackend::AudioDriverCandidates()
{
    if (const char *chosen = Environment(AudioDriverVariable))
        return {chosen};
    return {std::begin(DesktopAudioDrivers), std::end(DesktopAudioDrivers)};
}

std::uint32_t FluidSynthBackend::DeviceCount()
{
    return 1;
}

MidiResult FluidSynthBackend::GetDevCaps(std::int32_t deviceId, MidiOutCaps *caps, std::uint32_t size)
{
    if (deviceId != 0)
        return MIDIERR_BADDEVICEID;
    // The version built against: asking the library would load it.
    return CopyCaps(MakeCaps(DeviceName, MOD_SWSYNTH, Polyphony, Polyphony,
                             PackDriverVersion(FLUIDSYNTH_VERSION_MAJOR, FLUIDSYNTH_VERSION_MINOR)),
                    caps, size);
}

namespace {

int FromEnvironment(const char *name, int fallback, int minimum, int maximum)
{
    const char *text = std::getenv(name);
    if (text == nullptr)
        return fallback;
    int value = 0;
    const char *end = text + std::strlen(text);
    const auto [at, error] = std::from_chars(text, end, value);
    return error == std::errc() && at == end && value >= minimum && value <= maximum ? value : fallback;
}

} // namespace

FluidSynthBackend::Buffering FluidSynthBackend::AudioBuffering()
{
    return {FromEnvironment("MIDI_SONORET_AUDIO_PERIOD", PeriodSize, 16, 8192),
            FromEnvironment("MIDI_SONORET_AUDIO_PERIODS", Periods, 2, 64)};
}

MidiResult FluidSynthBackend::Load(const std::string &soundFont)
{
    if (synth_ != nullptr)
        return MIDIERR_NOERROR;
    if (!FluidSynthLoaded())
        return MIDIERR_NOTSUPPORTED; // the package depends on it: only a broken installation
    settings_ = new_fluid_settings();
    if (settings_ == nullptr)
        return MIDIERR_NOMEM;
    fluid_settings_setnum(settings_, "synth.sample-rate", SampleRate);
    fluid_settings_setint(settings_, "synth.polyphony", Polyphony);
    fluid_settings_setnum(settings_, "synth.gain", 0.5);
    const Buffering buffering = AudioBuffering();
    fluid_settings_setint(settings_, "audio.period-size", buffering.periodSize);
    fluid_settings_setint(settings_, "audio.periods", buffering.periods);
    fluid_settings_setstr(settings_, "audio.jack.id", std::string(OwnClientName).c_str());
    fluid_settings_setint(settings_, "audio.jack.autoconnect", 1);
    fluid_settings_setstr(settings_, "audio.file.type", "wav");
    fluid_settings_setint(settings_, "synth.dynamic-sample-loading", loading_ == SampleLoading::OnDemand ? 1 : 0);
    fluid_settings_setint(settings_, "synth.lock-memory", MayLockSamples() ? 1 : 0);

    synth_ = new_fluid_synth(settings_);
    if (synth_ == nullptr || fluid_synth_sfload(synth_, soundFont.c_str(), 1) == FLUID_FAILED) {
        if (synth_ != nullptr)
            delete_fluid_synth(synth_);
        delete_fluid_settings(settings_);
        synth_ = nullptr;
        settings_ = nullptr;
        return MIDIERR_NOSOUNDFONT;
    }
    return MIDIERR_NOERROR;
}

MidiResult FluidSynthBackend::StartAudio(std::chrono::milliseconds waitForCalls)
{
    if (output_ == Output::Offline || driver_ != nullptr)
        return MIDIERR_NOERROR;
    bool jackTried = false;
    for (const std::string &name : AudioDriverCandidates()) {
        const bool jack = name == "jack";
        jackTried = jackTried || jack;
        // No new JACK client while those of a server that has gone are still
        // open (the next refresh closes them); a call that another thread
        // makes to the server meanwhile (the device list) is waited for.
        if (jack && (JackServerLost() || !WaitForBoundedCalls(waitForCalls)))
            continue;
        if (name == "file") {
            const char *file = Environment(AudioFileVariable);
            if (file == nullptr)
                continue; // no file named: nowhere to render to
            fluid_settings_setstr(settings_, "audio.file.name", file);
        }
        if (fluid_settings_setstr(settings_, "audio.driver", name.c_str()) != FLUID_OK)
            continue;
        driver_ = new_fluid_audio_driver(settings_, synth_);
        if (driver_ != nullptr) {
            driverName_ = name;
            jackAudio_ = jack;
            audioGone_ = false;
            // FluidSynth's own client does not tell us when its server goes.
            if (jack)
                audioWatch_ = OpenPassiveJackClient(std::string(OwnClientName) + " audio-" + std::to_string(getpid()));
            return MIDIERR_NOERROR;
        }
    }
    // The one cause that can be told apart: the user can raise the limit.
    return jackTried && !LockedMemoryLeft() ? MIDIERR_NOLOCKEDMEMORY : MIDIERR_NOAUDIO;
}

void FluidSynthBackend::StartUp(std::string soundFont)
{
    MidiResult result = Load(soundFont);
    if (result == MIDIERR_NOERROR)
        result = StartAudio(JackBackgroundBound); // off the window's thread
    const std::lock_guard lock(mutex_);
    startResult_ = result;
    if (result == MIDIERR_NOERROR) {
        for (const Message &message : waiting_)
            Dispatch(message.data());
        start_ = Start::Ready;
        ready_ = true;
    } else {
        start_ = Start::Failed;
    }
    waiting_.clear();
}

MidiResult FluidSynthBackend::WaitUntilReady()
{
    JoinStart();
    const std::lock_guard lock(mutex_);
    return start_ == Start::Idle ? MIDIERR_INVALHANDLE : startResult_;
}

bool FluidSynthBackend::AudioLost() const
{
    return output_ == Output::Audio && (audioGone_ || (jackAudio_ && JackServerLost()));
}

void FluidSynthBackend::DropClientsOfLostServer()
{
    {
        const std::lock_guard lock(mutex_);
        if (start_ == Start::Idle)
            return;
    }
    JoinStart(); // its audio output may be a JACK client too
    if (driverName_ != "jack")
        return;
    // The server has gone: its client closes at once, and must be closed
    // before libjack makes another.
    delete_fluid_audio_driver(driver_);
    driver_ = nullptr;
    driverName_.clear();
    jackAudio_ = false;
    audioWatch_.reset();
    audioGone_ = true;
}

MidiResult FluidSynthBackend::Open(DeviceHandle *handle, std::int32_t deviceId, DriverCallbackProc callback,
                                   std::uintptr_t instance, std::uint32_t /*flags*/)
{
    if (handle == nullptr)
        return MIDIERR_INVALPARAM;
    if (deviceId != 0)
        return MIDIERR_BADDEVICEID;
    if (handle_ != 0)
        return MIDIERR_ALLOCATED;
    if (AudioLost())
        PrepareNewJackClient(); // closes the output of the server that went
    {
        const std::lock_guard lock(mutex_);
        if (start_ != Start::Running && (start_ != Start::Ready || AudioLost())) {
            JoinStart(); // ended: it takes the lock no more
            if (synth_ == nullptr) {
                std::optional<std::string> soundFont =
                    soundFont_.empty() ? FindSoundFont()
                    : IsRegularFile(soundFont_) ? std::optional(soundFont_)
                                                : std::nullopt;
                if (!soundFont)
                    return MIDIERR_NOSOUNDFONT;
                start_ = Start::Running;
                ready_ = false;
                waiting_.clear();
                starter_ = std::thread(&FluidSynthBackend::StartUp, this, std::move(*soundFont));
            } else {
                // Loaded already: only the audio output is missing, and
                // looking for one is quick.
                if (const MidiResult result = StartAudio(JackBound))
                    return result;
                startResult_ = MIDIERR_NOERROR;
                start_ = Start::Ready;
                ready_ = true;
            }
        }
    }

    handle_ = nextHandle_++;
    callback_ = callback;
    instance_ = instance;
    framer_.Reset();
    *handle = handle_;
    if (callback_ != nullptr)
        callback_(handle_, MOM_OPEN, instance_, 0, 0);
    thruOpen_ = true;
    return MIDIERR_NOERROR;
}

MidiResult FluidSynthBackend::Close(DeviceHandle handle)
{
    if (handle == 0 || handle != handle_)
        return MIDIERR_INVALHANDLE;
    thruOpen_ = false;
    {
        // What waits for the synth would sound after the close.
        const std::lock_guard lock(mutex_);
        waiting_.clear();
    }
    if (ready_.load())
        Silence();
    completions_.Finish(handle, std::chrono::milliseconds(500));
    handle_ = 0;
    if (callback_ != nullptr)
        callback_(handle, MOM_CLOSE, instance_, 0, 0);
    callback_ = nullptr;
    instance_ = 0;
    return MIDIERR_NOERROR;
}

MidiResult FluidSynthBackend::ShortMessage(DeviceHandle handle, std::uint32_t message)
{
    if (handle == 0 || handle != handle_)
        return MIDIERR_INVALHANDLE;
    Message bytes{};
    if (framer_.Frame(message, bytes.data()) == 0)
        return MIDIERR_NOTSHORT;
    if (!ready_.load(std::memory_order_acquire)) {
        const std::lock_guard lock(mutex_);
        if (start_ == Start::Failed)
            return startResult_;
        if (start_ != Start::Ready) {
            // A message that finds no room is lost: say so, as any send that fails.
            if (waiting_.size() >= MaxWaitingMessages)
                return MIDIERR_SENDFAILED;
            waiting_.push_back(bytes);
            return MIDIERR_NOERROR;
        }
    }
    if (AudioLost())
        return MIDIERR_NOAUDIO;
    Dispatch(bytes.data());
    return MIDIERR_NOERROR;
}

void FluidSynthBackend::Dispatch(const std::uint8_t *bytes)
{
    // A synthesizer takes every message and ignores values it cannot use, as
    // any MIDI receiver does; FluidSynth's refusals of such values are not
    // errors of the send.
    const int status = bytes[0];
    const int channel = status & 0x0F;
    const int data1 = bytes[1];
    const int data2 = bytes[2];
    switch (status & 0xF0) {
    case 0x80:
        fluid_synth_noteoff(synth_, channel, data1);
        break;
    case 0x90:
        if (data2 == 0)
            fluid_synth_noteoff(synth_, channel, data1);
        else
            fluid_synth_noteon(synth_, channel, data1, data2);
        break;
    case 0xA0:
        fluid_synth_key_pressure(synth_, channel, data1, data2);
        break;
    case 0xB0:
        fluid_synth_cc(synth_, channel, data1, data2);
        break;
    case 0xC0:
        fluid_synth_program_change(synth_, channel, data1);
        break;
    case 0xD0:
        fluid_synth_channel_pressure(synth_, channel, data1);
        break;
    case 0xE0:
        fluid_synth_pitch_bend(synth_, channel, data1 | (data2 << 7));
        break;
    default:
        if (status == 0xFF) // System Reset
            Silence();
        break; // other system messages mean nothing to a synthesizer
    }
}

void FluidSynthBackend::Silence()
{
    // The reset clears effect tails, programs and controllers; only the
    // sounds-off after it stops the voices at once (the reset alone lets them
    // ring out).
    fluid_synth_system_reset(synth_);
    fluid_synth_all_sounds_off(synth_, -1);
}

MidiResult FluidSynthBackend::PrepareHeader(DeviceHandle handle, MIDIHDR *header, std::uint32_t size)
{
    if (handle == 0 || handle != handle_)
        return MIDIERR_INVALHANDLE;
    return MarkPrepared(header, size);
}

MidiResult FluidSynthBackend::LongMessage(DeviceHandle handle, MIDIHDR *header, std::uint32_t size)
{
    if (handle == 0 || handle != handle_)
        return MIDIERR_INVALHANDLE;
    // Rare while starting: wait for the synth rather than keep the bytes.
    if (!ready_.load(std::memory_order_acquire)) {
        if (const MidiResult result = WaitUntilReady())
            return result;
    }
    if (AudioLost())
        return MIDIERR_NOAUDIO;
    if (const MidiResult result = MarkQueued(header, size))
        return result;
    const std::uint8_t *bytes = header->lpData;
    const std::uint32_t length = header->dwBufferLength;
    if (length >= 2 && bytes[0] == 0xF0 && bytes[length - 1] == 0xF7)
        SystemExclusive(bytes + 1, length - 2);
    // Processed on return: the report follows from the completion thread.
    completions_.Queue(handle, header, callback_, instance_);
    return MIDIERR_NOERROR;
}

void FluidSynthBackend::SystemExclusive(const std::uint8_t *body, std::uint32_t length)
{
    // Universal messages: F0 7E|7F <device> <sub-ID 1> <sub-ID 2> ...
    const bool universal = length >= 4 && (body[0] == 0x7E || body[0] == 0x7F);
    double gain = 0;
    if (universal && fluid_settings_getnum(settings_, "synth.gain", &gain) == FLUID_OK) {
        // FluidSynth leaves Master Volume (7F .. 04 01 lsb msb) alone; it scales
        // our output gain, and GM System On (7E .. 09 01) sets it back.
        if (body[0] == 0x7F && body[2] == 0x04 && body[3] == 0x01 && length == 6) {
            const int volume = body[4] | body[5] << 7;
            fluid_synth_set_gain(synth_, static_cast<float>(gain * volume / 16383.0));
            return;
        }
        if (body[0] == 0x7E && body[2] == 0x09 && body[3] == 0x01)
            fluid_synth_set_gain(synth_, static_cast<float>(gain));
    }
    // FluidSynth takes the bytes between F0 and F7 (resets, tuning). What it
    // does not understand it ignores; that is no failure of the send.
    fluid_synth_sysex(synth_, reinterpret_cast<const char *>(body), static_cast<int>(length), nullptr, nullptr,
                      nullptr, 0);
}

MidiResult FluidSynthBackend::UnprepareHeader(DeviceHandle handle, MIDIHDR *header, std::uint32_t size)
{
    if (handle == 0 || handle != handle_)
        return MIDIERR_INVALHANDLE;
    return MarkUnprepared(header, size);
}

ThruTarget *FluidSynthBackend::ThruTargetOf(DeviceHandle output)
{
    return output != 0 && output == handle_ ? &thru_ : nullptr;
}

bool FluidSynthBackend::SynthThru::Forward(const std::uint8_t *bytes, std::size_t length) noexcept
{
    // Until the synth is ready, messages wait in order with the window's.
    if (!synth_.thruOpen_.load() || !synth_.ready_.load(std::memory_order_acquire) || synth_.AudioLost())
        return false;
    if (bytes[0] == 0xF0) {
        synth_.SystemExclusive(bytes + 1, static_cast<std::uint32_t>(length - 2));
        return true;
    }
    const std::uint8_t message[3] = {bytes[0], length > 1 ? bytes[1] : std::uint8_t{0},
                                     length > 2 ? bytes[2] : std::uint8_t{0}};
    synth_.Dispatch(message);
    return true;
}

bool FluidSynthBackend::Render(int frames, float *left, float *right)
{
    if (output_ != Output::Offline || WaitUntilReady() != MIDIERR_NOERROR || synth_ == nullptr)
        return false;
    return fluid_synth_write_float(synth_, frames, left, 0, 1, right, 0, 1) == FLUID_OK;
}

} // namespace midi_out
