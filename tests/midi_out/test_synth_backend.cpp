// The built-in synthesizer: notes become sound, closing silences it, notes
// sent while it starts are played once it is ready, and a missing SoundFont
// or audio output fails the sends with a text that names it.

#include "support/HangBound.h"
#include "raised_text.h"
#include "midi_out/FluidSynthBackend.h"
#include "midi_out/MidiErrors.h"
#include "midi_out/MidiOut.h"
#include "midi_out/SystemBackend.h"
#include "support/BackendTestSupport.h"
#include "support/OrdinaryUser.h"

#include <gtest/gtest.h>
#include <jack/jack.h>
#include <sys/resource.h>

#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <thread>

using namespace midi_out;
using namespace backend_test;

namespace {

constexpr int Rate = FluidSynthBackend::SampleRate;
// -80 dBFS: what is left of FluidSynth's effects after a reset is far below.
constexpr double Silence = 1e-4;

// RMS level of the next `frames` frames (left channel) the synth renders.
double Level(FluidSynthBackend &synth, int frames)
{
    std::vector<float> left(static_cast<std::size_t>(frames)), right(static_cast<std::size_t>(frames));
    EXPECT_TRUE(synth.Render(frames, left.data(), right.data()));
    double energy = 0;
    for (float sample : left)
        energy += double(sample) * sample;
    return std::sqrt(energy / frames);
}

struct OfflineSynth {
    explicit OfflineSynth(FluidSynthBackend::SampleLoading loading = FluidSynthBackend::SampleLoading::OnDemand)
        : synth(FluidSynthBackend::Output::Offline, loading)
    {
        EXPECT_EQ(synth.Open(&handle, 0, &NoticeLog::Callback, log.instance(), CALLBACK_FUNCTION), MIDIERR_NOERROR);
    }
    MidiResult send(std::uint8_t status, std::uint8_t data1, std::uint8_t data2 = 0)
    {
        return synth.ShortMessage(handle, Pack(status, data1, data2));
    }
    FluidSynthBackend synth;
    NoticeLog log;
    DeviceHandle handle = 0;
};

// The synth through the component, as the program selects it: device 0.
std::unique_ptr<TMidiOutput> SynthComponent()
{
    auto out = std::make_unique<TMidiOutput>(CreateSystemBackend());
    out->SetDeviceID(0);
    return out;
}

FluidSynthBackend &SynthOf(TMidiOutput &out)
{
    return static_cast<FluidSynthBackend &>(static_cast<SystemBackend &>(out.Backend()).Part(0));
}

// Largest sample magnitude in the data of a 16-bit stereo WAV file written so
// far, or in its last `frames`.
int PeakOfWav(const std::string &path, std::size_t frames = 0)
{
    std::ifstream file(path, std::ios::binary);
    const std::vector<char> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    int peak = 0;
    const std::size_t from = frames != 0 && bytes.size() > 44 + frames * 4 ? bytes.size() - frames * 4 : 44;
    for (std::size_t i = from; i + 1 < bytes.size(); i += 2) {
        std::int16_t sample;
        std::memcpy(&sample, &bytes[i], sizeof sample);
        peak = std::max(peak, std::abs(int(sample)));
    }
    return peak;
}

// A JACK client whose audio input keeps the loudest sample heard.
class JackAudioMeter {
public:
    JackAudioMeter() : client_(jack_client_open("sonoret-meter", JackNoStartServer, nullptr), &jack_client_close)
    {
        input_ = jack_port_register(client_.get(), "in", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
        jack_set_process_callback(client_.get(), &JackAudioMeter::Process, this);
        jack_activate(client_.get());
    }
    // Listens to the outputs of `client`; how many of them were connected before.
    int Listen(const std::string &client)
    {
        int connected = 0;
        const char **outputs =
            jack_get_ports(client_.get(), ("^" + client + ":").c_str(), JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput);
        for (int i = 0; outputs != nullptr && outputs[i] != nullptr; ++i) {
            connected += jack_port_connected(jack_port_by_name(client_.get(), outputs[i])) > 0 ? 1 : 0;
            jack_connect(client_.get(), outputs[i], jack_port_name(input_));
        }
        jack_free(outputs);
        return connected;
    }
    float peak() const { return peak_.load(); }

private:
    static int Process(jack_nframes_t frames, void *self)
    {
        auto &meter = *static_cast<JackAudioMeter *>(self);
        const auto *samples = static_cast<const float *>(jack_port_get_buffer(meter.input_, frames));
        for (jack_nframes_t i = 0; i < frames; ++i)
            meter.peak_.store(std::max(meter.peak_.load(), std::fabs(samples[i])));
        return 0;
    }

    std::atomic<float> peak_{0};
    jack_port_t *input_ = nullptr;
    std::unique_ptr<jack_client_t, decltype(&jack_client_close)> client_; // last: closed first
};

void LimitLockedMemory(rlim_t bytes)
{
    rlimit limit{};
    ASSERT_EQ(getrlimit(RLIMIT_MEMLOCK, &limit), 0);
    limit.rlim_cur = std::min(bytes, limit.rlim_max);
    ASSERT_EQ(setrlimit(RLIMIT_MEMLOCK, &limit), 0);
}

} // namespace

// FluidR3's piano alone is more than a user's default limit on locked memory
// (8 MB): the synth's JACK output must still open and sound. Where no memory
// may be locked at all, the failure says so. Run as an ordinary user, whom the
// limit binds, with a server of the same user.
TEST(SynthBackend, PlaysALargeSoundFontThroughJackUnderALimitOnLockedMemory)
{
    testsupport::RunAsOrdinaryUser([] {
        ASSERT_NO_FATAL_FAILURE(LimitLockedMemory(8 << 20));
        const std::string server = PrivateServerName("locked-memory");
        EnvGuard serverName("JACK_DEFAULT_SERVER", server);
        EnvGuard driver("MIDI_SONORET_AUDIO_DRIVER", "jack");
        EnvGuard soundFont("MIDI_SONORET_SOUNDFONT", "/usr/share/sounds/sf2/FluidR3_GM.sf2");
        PrivateJackServer jack(server);
        ASSERT_TRUE(jack.start()) << "jackd did not start";
        JackAudioMeter meter;

        auto out = SynthComponent();
        ASSERT_TRUE(out->OpenDevice());
        out->SendShortMessage(0xC0, 0, 0);
        out->SendShortMessage(0x90, 60, 100);
        ASSERT_EQ(SynthOf(*out).WaitUntilReady(), MIDIERR_NOERROR);
        EXPECT_EQ(meter.Listen(std::string(OwnClientName)), 2) << "both outputs are connected to the server's playback";
        EXPECT_TRUE(Eventually([&] { return meter.peak() > 0.01f; })) << "the note sounds";
        out.reset();

        ASSERT_NO_FATAL_FAILURE(LimitLockedMemory(0));
        out = SynthComponent();
        ASSERT_TRUE(out->OpenDevice());
        EXPECT_EQ(SynthOf(*out).WaitUntilReady(), MIDIERR_NOLOCKEDMEMORY);
        EXPECT_EQ(RaisedText([&] { out->SendShortMessage(0x90, 60, 100); }),
                  "The built-in synthesizer cannot start its audio output: no more memory may be locked (ulimit -l)");
    }, 60);
}

TEST(SynthBackend, NoteSoundsUntilCloseAndReopenSilencesIt)
{
    OfflineSynth s;
    ASSERT_EQ(s.log.notices.size(), 1u);
    EXPECT_EQ(s.log.notices[0].message, MOM_OPEN);
    EXPECT_LT(Level(s.synth, Rate / 10), Silence) << "a fresh synth must be silent";

    ASSERT_EQ(s.send(0x90, 60, 100), MIDIERR_NOERROR);
    EXPECT_GT(Level(s.synth, Rate / 10), 1e-3);
    EXPECT_GT(Level(s.synth, Rate / 10), 1e-3) << "the note should still sound";

    ASSERT_EQ(s.synth.Close(s.handle), MIDIERR_NOERROR);
    ASSERT_EQ(s.log.notices.size(), 2u);
    EXPECT_EQ(s.log.notices[1].message, MOM_CLOSE);
    EXPECT_EQ(s.synth.ShortMessage(s.handle, Pack(0x90, 60, 100)), MIDIERR_INVALHANDLE);

    DeviceHandle again = 0;
    ASSERT_EQ(s.synth.Open(&again, 0, nullptr, 0, CALLBACK_FUNCTION), MIDIERR_NOERROR);
    EXPECT_LT(Level(s.synth, Rate / 10), Silence);
    EXPECT_LT(Level(s.synth, Rate / 10), Silence);
}

// MIDI thru from another back end's source: the synth plays what it is
// handed on that source's thread once it is ready, and nothing once closed.
TEST(SynthBackend, AThruTargetPlaysOnAnotherThreadUntilTheClose)
{
    OfflineSynth s;
    ThruTarget *target = s.synth.ThruTargetOf(s.handle);
    ASSERT_NE(target, nullptr);
    ASSERT_EQ(s.synth.WaitUntilReady(), MIDIERR_NOERROR);
    const auto forwardFromAnotherThread = [&](std::vector<std::uint8_t> bytes) {
        bool sent = false;
        std::thread([&] { sent = target->Forward(bytes.data(), bytes.size()); }).join();
        return sent;
    };
    // Program Change is two bytes: nothing past them is read.
    EXPECT_TRUE(forwardFromAnotherThread({0xC0, 0}));
    EXPECT_TRUE(forwardFromAnotherThread({0x90, 60, 100}));
    EXPECT_GT(Level(s.synth, Rate / 10), 1e-3);
    EXPECT_TRUE(forwardFromAnotherThread({0x80, 60, 0}));
    EXPECT_TRUE(forwardFromAnotherThread({0xF0, 0x7F, 0x7F, 0x04, 0x01, 0, 0, 0xF7})); // master volume 0
    EXPECT_TRUE(forwardFromAnotherThread({0x90, 64, 127}));
    Level(s.synth, Rate); // what is left is the reverberation's tail
    EXPECT_LT(Level(s.synth, Rate / 10), Silence) << "master volume 0 came through";

    ASSERT_EQ(s.synth.Close(s.handle), MIDIERR_NOERROR);
    EXPECT_FALSE(forwardFromAnotherThread({0x90, 60, 100}));
}

// Samples read when an instrument is chosen are there for its first note:
// every instrument's first period sounds exactly as with every sample read
// at the start, on a melodic channel and on the drums' channel.
TEST(SynthBackend, SamplesReadOnDemandSoundFromTheFirstPeriodOfEachInstrument)
{
    OfflineSynth onDemand(FluidSynthBackend::SampleLoading::OnDemand);
    // One synth starts at a time: FluidSynth's first set-up is not made for
    // two threads at once (the program has one synth).
    ASSERT_EQ(onDemand.synth.WaitUntilReady(), MIDIERR_NOERROR);
    OfflineSynth all(FluidSynthBackend::SampleLoading::All);
    const auto period = [](OfflineSynth &s) {
        std::vector<float> left(FluidSynthBackend::PeriodSize), right(FluidSynthBackend::PeriodSize);
        EXPECT_TRUE(s.synth.Render(FluidSynthBackend::PeriodSize, left.data(), right.data()));
        left.insert(left.end(), right.begin(), right.end());
        return left;
    };
    int sounding = 0;
    for (int program = 0; program < 128; ++program) {
        for (const std::uint8_t channel : {0, 9}) {
            SCOPED_TRACE(std::to_string(program) + " on channel " + std::to_string(channel + 1));
            for (OfflineSynth *s : {&onDemand, &all}) {
                // Each instrument from silence: no tail of the one before.
                s->send(0xB0 | channel, 120, 0);
                period(*s);
                s->send(0xC0 | channel, static_cast<std::uint8_t>(program));
                s->send(0x90 | channel, channel == 9 ? 38 : 60, 100);
            }
            const auto heard = period(onDemand);
            const auto expected = period(all);
            // The same to -80 dBFS: the two read the samples by different ways.
            double difference = 0;
            for (std::size_t i = 0; i < heard.size(); ++i)
                difference = std::max(difference, double(std::fabs(heard[i] - expected[i])));
            ASSERT_LT(difference, Silence);
            sounding += std::any_of(heard.begin(), heard.end(), [](float v) { return v != 0.0f; }) ? 1 : 0;
        }
    }
    EXPECT_GT(sounding, 200) << "nearly every instrument sounds in its first period";
}

// A machine that cannot keep up with the short default buffer gets a longer
// one through the environment; what is no number in range is not used.
TEST(SynthBackend, TheAudioBufferIsSetThroughTheEnvironment)
{
    const struct {
        std::optional<std::string> period, periods;
        int periodSize, count;
    } cases[]{
        {std::nullopt, std::nullopt, FluidSynthBackend::PeriodSize, FluidSynthBackend::Periods},
        {"256", "4", 256, 4},
        {"16", "64", 16, 64},
        {"15", "1", FluidSynthBackend::PeriodSize, FluidSynthBackend::Periods},
        {"8193", "65", FluidSynthBackend::PeriodSize, FluidSynthBackend::Periods},
        {"128 ", "x", FluidSynthBackend::PeriodSize, FluidSynthBackend::Periods},
        {"", "-3", FluidSynthBackend::PeriodSize, FluidSynthBackend::Periods},
    };
    for (const auto &c : cases) {
        EnvGuard period("MIDI_SONORET_AUDIO_PERIOD", c.period);
        EnvGuard periods("MIDI_SONORET_AUDIO_PERIODS", c.periods);
        const auto buffering = FluidSynthBackend::AudioBuffering();
        EXPECT_EQ(buffering.periodSize, c.periodSize) << c.period.value_or("unset");
        EXPECT_EQ(buffering.periods, c.count) << c.periods.value_or("unset");
    }
}

TEST(SynthBackend, NoteOnWithVelocityZeroEndsTheNote)
{
    OfflineSynth s;
    ASSERT_EQ(s.send(0xC0, 19), MIDIERR_NOERROR); // church organ: sounds while held
    ASSERT_EQ(s.send(0x90, 60, 100), MIDIERR_NOERROR);
    const double held = Level(s.synth, Rate / 2);
    ASSERT_GT(held, 1e-3);
    EXPECT_GT(Level(s.synth, Rate / 5), held / 2) << "an organ note keeps sounding while held";

    ASSERT_EQ(s.send(0x90, 60, 0), MIDIERR_NOERROR);
    Level(s.synth, Rate); // release
    EXPECT_LT(Level(s.synth, Rate / 5), held / 20);
}

TEST(SynthBackend, ChannelMessagesReachTheSynthAndSystemExclusiveIsRefused)
{
    OfflineSynth s;
    // All Sound Off on the note's own channel stops it; on another it does not.
    ASSERT_EQ(s.send(0x93, 64, 100), MIDIERR_NOERROR);
    ASSERT_EQ(s.send(0xB2, 120, 0), MIDIERR_NOERROR);
    EXPECT_GT(Level(s.synth, Rate / 10), 1e-3);
    ASSERT_EQ(s.send(0xB3, 120, 0), MIDIERR_NOERROR);
    Level(s.synth, Rate / 10);
    EXPECT_LT(Level(s.synth, Rate / 10), Silence * 10);

    // Drums on channel 10, then System Reset silences everything.
    ASSERT_EQ(s.send(0x99, 38, 127), MIDIERR_NOERROR);
    EXPECT_GT(Level(s.synth, Rate / 10), 1e-3);
    ASSERT_EQ(s.send(0xFF, 0), MIDIERR_NOERROR);
    Level(s.synth, Rate / 10);
    EXPECT_LT(Level(s.synth, Rate / 10), Silence);

    for (std::uint8_t status : {0xA0, 0xD0, 0xE0, 0xF8, 0xF2})
        EXPECT_EQ(s.send(status, 1, 2), MIDIERR_NOERROR) << int(status);
    EXPECT_EQ(s.send(0xF0, 0x7E, 0x7F), MIDIERR_NOTSHORT);
    EXPECT_EQ(s.send(0xF7, 0), MIDIERR_NOTSHORT);
}

TEST(SynthBackend, ReportsItselfAsASoftwareSynthOnAllChannels)
{
    FluidSynthBackend synth;
    EXPECT_EQ(synth.DeviceCount(), 1u);
    MidiOutCaps caps;
    ASSERT_EQ(synth.GetDevCaps(0, &caps, sizeof caps), MIDIERR_NOERROR);
    EXPECT_STREQ(caps.szPname, FluidSynthBackend::DeviceName);
    EXPECT_EQ(caps.wTechnology, MOD_SWSYNTH);
    EXPECT_EQ(caps.wVoices, FluidSynthBackend::Polyphony);
    EXPECT_EQ(caps.wNotes, FluidSynthBackend::Polyphony);
    EXPECT_EQ(caps.wChannelMask, 0xFFFF);
    EXPECT_EQ(caps.vDriverVersion, 0x0203u); // FluidSynth 2.3
    EXPECT_EQ(synth.GetDevCaps(1, &caps, sizeof caps), MIDIERR_BADDEVICEID);
    EXPECT_TRUE(synth.audioDriver().empty()) << "nothing is loaded before the first open";
}

TEST(SynthBackend, SoundFontNamedInTheEnvironmentWinsAndAMissingOneIsNotReplaced)
{
    {
        EnvGuard soundFont("MIDI_SONORET_SOUNDFONT", std::nullopt);
        const auto found = FluidSynthBackend::FindSoundFont();
        ASSERT_TRUE(found.has_value());
        EXPECT_EQ(*found, "/usr/share/sounds/sf2/default-GM.sf2");
    }
    {
        EnvGuard soundFont("MIDI_SONORET_SOUNDFONT", "/usr/share/sounds/sf2/TimGM6mb.sf2");
        EXPECT_EQ(FluidSynthBackend::FindSoundFont(), "/usr/share/sounds/sf2/TimGM6mb.sf2");
    }
    {
        EnvGuard soundFont("MIDI_SONORET_SOUNDFONT", "/nonexistent/nothing.sf2");
        EXPECT_EQ(FluidSynthBackend::FindSoundFont(), std::nullopt);
    }
    {
        EnvGuard driver("MIDI_SONORET_AUDIO_DRIVER", std::nullopt);
        const auto drivers = FluidSynthBackend::AudioDriverCandidates();
        ASSERT_FALSE(drivers.empty());
        EXPECT_EQ(drivers.front(), "pulseaudio");
    }
    {
        EnvGuard driver("MIDI_SONORET_AUDIO_DRIVER", "alsa");
        EXPECT_EQ(FluidSynthBackend::AudioDriverCandidates(), std::vector<std::string>{"alsa"});
    }
}

TEST(SynthBackend, MissingSoundFontFailsTheOpenAndEverySendNamesIt)
{
    EnvGuard soundFont("MIDI_SONORET_SOUNDFONT", "/nonexistent/nothing.sf2");
    auto out = SynthComponent();
    EXPECT_FALSE(out->OpenDevice());
    EXPECT_EQ(out->LastResult(), MIDIERR_NOSOUNDFONT);
    EXPECT_EQ(RaisedText([&] { out->SendShortMessage(0x90, 60, 100); }),
              "The built-in synthesizer found no SoundFont");
    EXPECT_EQ(RaisedText([&] { out->SendShortMessage(0x80, 60, 0); }),
              "The built-in synthesizer found no SoundFont");
}

TEST(SynthBackend, MissingAudioOutputFailsTheSendsUntilAnOpenSucceeds)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    auto driver = std::make_unique<EnvGuard>("MIDI_SONORET_AUDIO_DRIVER", "nonexistent");
    auto out = SynthComponent();
    // The output is looked for while the window comes up; the send after
    // that names what is missing.
    ASSERT_TRUE(out->OpenDevice());
    EXPECT_EQ(SynthOf(*out).WaitUntilReady(), MIDIERR_NOAUDIO);
    EXPECT_EQ(RaisedText([&] { out->SendShortMessage(0x90, 60, 100); }),
              "The built-in synthesizer found no audio output");
    EXPECT_EQ(RaisedText([&] { out->SendShortMessage(0x80, 60, 0); }),
              "The built-in synthesizer found no audio output");
    ASSERT_TRUE(out->CloseDevice());

    // The file driver without a file to write is no output either; with the
    // SoundFont loaded, the open itself tells.
    driver.reset(); // restore before the next guard saves the value
    driver = std::make_unique<EnvGuard>("MIDI_SONORET_AUDIO_DRIVER", "file");
    EnvGuard noFile("MIDI_SONORET_AUDIO_FILE", std::nullopt);
    EXPECT_FALSE(out->OpenDevice());
    EXPECT_EQ(out->LastResult(), MIDIERR_NOAUDIO);

    EnvGuard file("MIDI_SONORET_AUDIO_FILE", dir.filePath("out.wav").toStdString());
    ASSERT_TRUE(out->OpenDevice());
    out->SendShortMessage(0x90, 60, 100);
    ASSERT_TRUE(out->CloseDevice());
    EXPECT_EQ(RaisedText([&] { out->SendShortMessage(0x90, 60, 100); }), "The device handle is invalid");
}

TEST(SynthBackend, UnreadableSoundFontFailsTheSendsAfterTheStart)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string path = dir.filePath("broken.sf2").toStdString();
    std::ofstream(path) << "not a SoundFont";
    EnvGuard soundFont("MIDI_SONORET_SOUNDFONT", path);
    FluidSynthBackend synth(FluidSynthBackend::Output::Offline);
    DeviceHandle handle = 0;
    ASSERT_EQ(synth.Open(&handle, 0, nullptr, 0, CALLBACK_FUNCTION), MIDIERR_NOERROR);
    EXPECT_EQ(synth.WaitUntilReady(), MIDIERR_NOSOUNDFONT);
    EXPECT_EQ(synth.ShortMessage(handle, Pack(0x90, 60, 100)), MIDIERR_NOSOUNDFONT);
}

TEST(SynthBackend, MessagesSentWhileStartingArePlayedInOrderOnceReady)
{
    // The open returns before the SoundFont is in; these wait for it.
    OfflineSynth s;
    ASSERT_EQ(s.send(0xC0, 19), MIDIERR_NOERROR); // church organ: sustains
    ASSERT_EQ(s.send(0x90, 60, 120), MIDIERR_NOERROR);
    ASSERT_EQ(s.send(0x90, 64, 120), MIDIERR_NOERROR);
    ASSERT_EQ(s.send(0x80, 64, 0), MIDIERR_NOERROR);
    ASSERT_EQ(s.synth.WaitUntilReady(), MIDIERR_NOERROR);
    EXPECT_GT(Level(s.synth, Rate / 5), 1e-3) << "the note held before the synth was ready sounds";
    ASSERT_EQ(s.send(0x80, 60, 0), MIDIERR_NOERROR);
    Level(s.synth, Rate); // release tail
    EXPECT_LT(Level(s.synth, Rate / 10), Silence) << "the Note Off after the Note On ended it";
}

TEST(SynthBackend, CloseWhileStartingDropsWhatWaits)
{
    FluidSynthBackend synth(FluidSynthBackend::Output::Offline);
    DeviceHandle handle = 0;
    ASSERT_EQ(synth.Open(&handle, 0, nullptr, 0, CALLBACK_FUNCTION), MIDIERR_NOERROR);
    ASSERT_EQ(synth.ShortMessage(handle, Pack(0x90, 60, 120)), MIDIERR_NOERROR);
    ASSERT_EQ(synth.Close(handle), MIDIERR_NOERROR);
    ASSERT_EQ(synth.Open(&handle, 0, nullptr, 0, CALLBACK_FUNCTION), MIDIERR_NOERROR);
    ASSERT_EQ(synth.WaitUntilReady(), MIDIERR_NOERROR);
    EXPECT_LT(Level(synth, Rate / 5), Silence);
}

TEST(SynthBackend, FileDriverWritesTheNoteIntoTheWavFile)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string wav = dir.filePath("synth.wav").toStdString();
    EnvGuard driver("MIDI_SONORET_AUDIO_DRIVER", "file");
    EnvGuard file("MIDI_SONORET_AUDIO_FILE", wav);

    auto out = SynthComponent();
    EXPECT_EQ(out->ProductName(), "FluidSynth (built-in)");
    EXPECT_EQ(out->CapsTechnology(), MOD_SWSYNTH);
    ASSERT_TRUE(out->OpenDevice());
    out->SendShortMessage(0x90, 60, 127);

    // The file driver renders in real time: wait for the note to reach the file.
    const auto deadline = std::chrono::steady_clock::now() + testing_support::kHangBound;
    while (PeakOfWav(wav) < 1000 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_GE(PeakOfWav(wav), 1000);
    ASSERT_TRUE(out->CloseDevice());
    out.reset();
    EXPECT_LT(PeakOfWav(wav, FluidSynthBackend::PeriodSize), 100) << "the close's silencing reached the output";

    std::ifstream written(wav, std::ios::binary);
    char header[12] = {};
    written.read(header, sizeof header);
    EXPECT_EQ(std::string(header, 4), "RIFF");
    EXPECT_EQ(std::string(header + 8, 4), "WAVE");
}

TEST(SynthBackend, MapperOpensTheSynthesizerUnderItsOwnName)
{
    std::vector<std::unique_ptr<MidiBackend>> parts;
    auto owned = std::make_unique<FluidSynthBackend>(FluidSynthBackend::Output::Offline);
    FluidSynthBackend &synth = *owned;
    parts.push_back(std::move(owned));
    SystemBackend system(std::move(parts));

    MidiOutCaps caps;
    ASSERT_EQ(system.GetDevCaps(MIDI_MAPPER, &caps, sizeof caps), MIDIERR_NOERROR);
    EXPECT_STREQ(caps.szPname, SystemBackend::MapperName);
    EXPECT_EQ(caps.wTechnology, MOD_MAPPER);
    EXPECT_EQ(caps.wVoices, FluidSynthBackend::Polyphony);

    DeviceHandle handle = 0;
    ASSERT_EQ(system.Open(&handle, MIDI_MAPPER, nullptr, 0, CALLBACK_FUNCTION), MIDIERR_NOERROR);
    ASSERT_EQ(system.ShortMessage(handle, Pack(0x90, 67, 110)), MIDIERR_NOERROR);
    EXPECT_GT(Level(synth, Rate / 10), 1e-3);
    DeviceHandle second = 0;
    EXPECT_EQ(system.Open(&second, 0, nullptr, 0, CALLBACK_FUNCTION), MIDIERR_ALLOCATED);
    EXPECT_EQ(system.Close(handle), MIDIERR_NOERROR);
}
