// Key press to first audible sample of the built-in synthesizer through its
// JACK audio output, against FluidSynth's own program (`fluidsynth -a jack
// -m jack`) played by a JACK MIDI keyboard, in the same run on the same
// server and SoundFont. A JACK "ear" client listens to each synth's left
// output and stamps the first sample above -100 dBFS with its frame's time.
//   - ours: from the call that sends the Note On (as the window does) to
//     that sample;
//   - peer: from the start of the cycle whose first frame carries the Note On
//     (the earliest a JACK keyboard can send) to that sample.
// The synth renders in the cycle after a message reaches it, so each is at
// least one period; the mark is at most one period more than the peer.
//
//   JACK_DEFAULT_SERVER=NAME bench_midi_out_synth_latency [PRESSES [SOUNDFONT]]
//
// Needs a running JACK server and /usr/bin/fluidsynth (Debian's fluidsynth).

#include "bench_support.h"
#include "midi_out/BackendSupport.h"
#include "midi_out/FluidSynthBackend.h"
#include "midi_out/MidiErrors.h"

#include <jack/jack.h>
#include <jack/midiport.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

extern char **environ;

using namespace midi_out;
using namespace std::chrono_literals;

namespace {

constexpr float Audible = 1e-5f; // -100 dBFS

// A JACK client of the benchmark's own with one port; it runs `process` once
// the port is there.
class OwnClient {
public:
    OwnClient(const char *name, const char *port, const char *type, unsigned long flags)
    {
        client_ = jack_client_open(name, JackNoStartServer, nullptr);
        if (client_ != nullptr)
            port_ = jack_port_register(client_, port, type, flags, 0);
    }
    ~OwnClient()
    {
        if (client_ != nullptr)
            jack_client_close(client_);
    }
    OwnClient(const OwnClient &) = delete;
    OwnClient &operator=(const OwnClient &) = delete;

protected:
    void Start(JackProcessCallback process, void *self)
    {
        if (client_ == nullptr || port_ == nullptr)
            return;
        jack_set_process_callback(client_, process, self);
        jack_activate(client_);
    }

    jack_client_t *client_ = nullptr;
    jack_port_t *port_ = nullptr;
};

// Listens to one audio port; stamps the first audible sample once armed.
class Ear : public OwnClient {
public:
    Ear() : OwnClient("sonoret-bench-ear", "in", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput) { Start(&Ear::Process, this); }
    bool Ok() const { return client_ != nullptr && port_ != nullptr; }
    jack_client_t *Client() const { return client_; }
    const char *PortName() const { return jack_port_name(port_); }
    void Arm()
    {
        heard_.store(0);
        armed_.store(true);
    }
    // JACK's time of the first audible sample since Arm; 0 when none yet.
    jack_time_t Heard() const { return heard_.load(); }
    jack_nframes_t Period() const { return jack_get_buffer_size(client_); }
    jack_nframes_t Rate() const { return jack_get_sample_rate(client_); }

private:
    static int Process(jack_nframes_t frames, void *self)
    {
        auto &ear = *static_cast<Ear *>(self);
        if (!ear.armed_.load())
            return 0;
        const auto *samples = static_cast<const float *>(jack_port_get_buffer(ear.port_, frames));
        for (jack_nframes_t i = 0; i < frames; ++i)
            if (std::fabs(samples[i]) > Audible) {
                ear.heard_.store(jack_frames_to_time(ear.client_, jack_last_frame_time(ear.client_) + i));
                ear.armed_.store(false);
                break;
            }
        return 0;
    }

    std::atomic<bool> armed_{false};
    std::atomic<jack_time_t> heard_{0};
};

// A JACK MIDI keyboard: a message asked for goes out at the first frame of
// the next cycle, stamped with that cycle's start.
class Keyboard : public OwnClient {
public:
    Keyboard() : OwnClient("sonoret-bench-keys", "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput)
    {
        Start(&Keyboard::Process, this);
    }
    bool Ok() const { return client_ != nullptr && port_ != nullptr; }
    const char *PortName() const { return jack_port_name(port_); }
    void Send(std::uint8_t status, std::uint8_t data1, std::uint8_t data2)
    {
        message_.store(status | (data1 << 8) | (data2 << 16));
        sentAt_.store(0);
    }
    jack_time_t SentAt() const { return sentAt_.load(); }

private:
    static int Process(jack_nframes_t frames, void *self)
    {
        auto &keys = *static_cast<Keyboard *>(self);
        void *buffer = jack_port_get_buffer(keys.port_, frames);
        jack_midi_clear_buffer(buffer);
        const std::uint32_t message = keys.message_.exchange(0);
        if (message != 0) {
            const jack_midi_data_t bytes[3] = {static_cast<jack_midi_data_t>(message & 0xFF),
                                               static_cast<jack_midi_data_t>((message >> 8) & 0xFF),
                                               static_cast<jack_midi_data_t>((message >> 16) & 0xFF)};
            jack_midi_event_write(buffer, 0, bytes, 3);
            keys.sentAt_.store(jack_frames_to_time(keys.client_, jack_last_frame_time(keys.client_)));
        }
        return 0;
    }

    std::atomic<std::uint32_t> message_{0};
    std::atomic<jack_time_t> sentAt_{0};
};

// The first port of `type` and `flags` of a client whose name starts with
// `prefix`.
std::string PortOf(jack_client_t *client, const std::string &prefix, const char *type, unsigned long flags)
{
    std::string found;
    const char **ports = jack_get_ports(client, nullptr, type, flags);
    for (int i = 0; ports != nullptr && ports[i] != nullptr; ++i)
        if (std::string(ports[i]).rfind(prefix, 0) == 0) {
            found = ports[i];
            break;
        }
    jack_free(ports);
    return found;
}

std::string AudioOutputOf(jack_client_t *client, const std::string &prefix)
{
    return PortOf(client, prefix, JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput);
}

std::string MidiInputOf(jack_client_t *client, const std::string &prefix)
{
    return PortOf(client, prefix, JACK_DEFAULT_MIDI_TYPE, JackPortIsInput);
}

bool WaitFor(const std::function<bool()> &done, std::chrono::milliseconds bound)
{
    const auto end = std::chrono::steady_clock::now() + bound;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

struct Figures {
    std::vector<double> ms;
    int lost = 0;
};

using bench_support::Percentile;

} // namespace

int main(int argc, char **argv)
{
    const int presses = argc > 1 ? std::atoi(argv[1]) : 100;
    const std::string soundFont =
        argc > 2 ? argv[2] : FluidSynthBackend::FindSoundFont().value_or("/usr/share/sounds/sf2/TimGM6mb.sf2");
    setenv("JACK_NO_START_SERVER", "1", 1);
    setenv("MIDI_SONORET_SOUNDFONT", soundFont.c_str(), 1);
    setenv("MIDI_SONORET_AUDIO_DRIVER", "jack", 1);
    Ear ear;
    Keyboard keys;
    if (!ear.Ok() || !keys.Ok()) {
        std::fprintf(stderr, "no JACK server (JACK_DEFAULT_SERVER)\n");
        return 1;
    }

    // Ours, as the program runs it.
    FluidSynthBackend synth;
    DeviceHandle handle = 0;
    if (synth.Open(&handle, 0, nullptr, 0, CALLBACK_FUNCTION) != MIDIERR_NOERROR ||
        synth.WaitUntilReady() != MIDIERR_NOERROR) {
        std::fprintf(stderr, "the built-in synthesizer did not start on JACK\n");
        return 1;
    }
    const std::string ourPort = AudioOutputOf(ear.Client(), std::string(OwnClientName));

    // The peer: FluidSynth's own program with the same SoundFont and buffer.
    const std::string peerName = "sonoret-bench-fluidsynth";
    const char *server = std::getenv("JACK_DEFAULT_SERVER");
    const std::string serverName = server != nullptr ? server : "default";
    // -i -s: no shell, run until ended (without -s it ends once its files are played).
    std::vector<std::string> args{"fluidsynth", "-a", "jack", "-m", "jack", "-i", "-s", "-g", "0.5", "-r", "48000",
                                  "-o", "audio.jack.server=" + serverName, "-o", "midi.jack.server=" + serverName,
                                  "-o", "audio.jack.id=" + peerName, "-o", "midi.jack.id=" + peerName,
                                  "-o", "audio.jack.autoconnect=0", "-z", std::to_string(FluidSynthBackend::PeriodSize),
                                  "-c", std::to_string(FluidSynthBackend::Periods), soundFont};
    std::vector<char *> argvPeer;
    for (auto &arg : args)
        argvPeer.push_back(arg.data());
    argvPeer.push_back(nullptr);
    pid_t peer = 0;
    if (posix_spawn(&peer, "/usr/bin/fluidsynth", nullptr, nullptr, argvPeer.data(), environ) != 0) {
        std::fprintf(stderr, "no /usr/bin/fluidsynth\n");
        return 1;
    }
    std::string peerAudio, peerMidi;
    WaitFor([&] {
        peerAudio = AudioOutputOf(ear.Client(), peerName);
        peerMidi = MidiInputOf(ear.Client(), peerName);
        return !peerAudio.empty() && !peerMidi.empty();
    }, 10s);
    if (ourPort.empty() || peerAudio.empty() || peerMidi.empty()) {
        std::fprintf(stderr, "ports not found: ours '%s', peer '%s' '%s'\n", ourPort.c_str(), peerAudio.c_str(),
                     peerMidi.c_str());
        kill(peer, SIGTERM);
        waitpid(peer, nullptr, 0);
        return 1;
    }
    jack_connect(ear.Client(), keys.PortName(), peerMidi.c_str());

    Figures ours, theirs;
    const auto listenTo = [&](const std::string &port) {
        const char **connected = jack_port_get_all_connections(ear.Client(), jack_port_by_name(ear.Client(), ear.PortName()));
        for (int i = 0; connected != nullptr && connected[i] != nullptr; ++i)
            jack_disconnect(ear.Client(), connected[i], ear.PortName());
        jack_free(connected);
        jack_connect(ear.Client(), port.c_str(), ear.PortName());
        std::this_thread::sleep_for(100ms);
    };
    for (int round = 0; round < 2; ++round) {
        const bool oursNow = round == 0;
        listenTo(oursNow ? ourPort : peerAudio);
        for (int i = 0; i < presses; ++i) {
            // Presses fall anywhere in a cycle, as a player's do.
            std::this_thread::sleep_for(std::chrono::microseconds(150000 + (i * 7919) % 3000));
            ear.Arm();
            jack_time_t sent = 0;
            if (oursNow) {
                sent = jack_get_time();
                synth.ShortMessage(handle, 0x90 | (60 << 8) | (100 << 16));
            } else {
                keys.Send(0x90, 60, 100);
                WaitFor([&] { return keys.SentAt() != 0; }, 1s);
                sent = keys.SentAt();
            }
            Figures &figures = oursNow ? ours : theirs;
            if (WaitFor([&] { return ear.Heard() != 0; }, 1s) && sent != 0)
                figures.ms.push_back(double(static_cast<std::int64_t>(ear.Heard() - sent)) / 1000.0);
            else
                ++figures.lost;
            if (oursNow) {
                synth.ShortMessage(handle, 0x80 | (60 << 8));
                synth.ShortMessage(handle, 0xB0 | (120 << 8));
            } else {
                keys.Send(0x80, 60, 0);
                std::this_thread::sleep_for(5ms);
                keys.Send(0xB0, 120, 0);
            }
            std::this_thread::sleep_for(150ms); // the tail dies away
        }
    }
    const double period = 1000.0 * ear.Period() / ear.Rate();
    std::printf("JACK period %u frames (%.2f ms); SoundFont %s; %d presses each\n", ear.Period(), period,
                soundFont.c_str(), presses);
    std::printf("%-28s %8s %8s %8s %6s\n", "press -> first sound", "median", "p90", "max ms", "lost");
    for (const auto &[name, f] : {std::pair{"built-in synthesizer", &ours}, std::pair{"fluidsynth -a jack -m jack", &theirs}})
        std::printf("%-28s %8.2f %8.2f %8.2f %6d\n", name, Percentile(f->ms, 0.5), Percentile(f->ms, 0.9),
                    Percentile(f->ms, 1.0), f->lost);
    std::printf("median difference: %+.2f ms (%.2f periods)\n", Percentile(ours.ms, 0.5) - Percentile(theirs.ms, 0.5),
                (Percentile(ours.ms, 0.5) - Percentile(theirs.ms, 0.5)) / period);
    synth.Close(handle);
    kill(peer, SIGTERM);
    waitpid(peer, nullptr, 0);
    return 0;
}
