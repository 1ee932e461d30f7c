#pragma once
// Shared by the MIDI output benchmarks: a JACK MIDI input port that stamps
// each arrival, and the server it runs on.

#include "bench_support.h"
#include "midi_out/MidiOut.h"
#include "midi_out/SystemBackend.h"

#include <benchmark/benchmark.h>
#include <jack/jack.h>
#include <jack/midiport.h>
#include <jack/ringbuffer.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace bench_midi {

using bench_support::Clock;
using bench_support::Microseconds;
using bench_support::ReportPercentiles;

// Frames per period and sample rate of the running JACK server, or zeros.
struct JackServerInfo {
    jack_nframes_t period = 0;
    jack_nframes_t rate = 0;
};

inline JackServerInfo QueryJackServer()
{
    setenv("JACK_NO_START_SERVER", "1", 1);
    jack_status_t status;
    jack_client_t *client = jack_client_open("sonoret-bench-probe", JackNoStartServer, &status);
    if (client == nullptr)
        return {};
    JackServerInfo info{jack_get_buffer_size(client), jack_get_sample_rate(client)};
    jack_client_close(client);
    return info;
}

// A JACK MIDI input port that notes the time each message arrives. On the
// JACK API itself, deactivated before its port goes, so that teardown never
// races the process thread.
class JackArrivals {
public:
    JackArrivals()
    {
        const std::string name = "sonoret-bench-" + std::to_string(getpid());
        jack_status_t status;
        client_ = jack_client_open(name.c_str(), jack_options_t(JackNoStartServer | JackUseExactName), &status);
        if (client_ == nullptr)
            throw std::runtime_error("no JACK client for the receiver");
        port_ = jack_port_register(client_, "in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
        stamps_ = jack_ringbuffer_create(sizeof(Clock::time_point) * 4096);
        jack_set_process_callback(client_, &JackArrivals::Process, this);
        if (port_ == nullptr || jack_activate(client_) != 0)
            throw std::runtime_error("no JACK port for the receiver");
        portName_ = jack_port_name(port_);
    }
    ~JackArrivals()
    {
        jack_deactivate(client_);
        jack_client_close(client_);
        jack_ringbuffer_free(stamps_);
    }

    std::string portName() const { return portName_; }

    // Waits until `count` messages have arrived; false on time-out.
    bool waitFor(std::size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(2))
    {
        const auto end = Clock::now() + timeout;
        while (take() < count) {
            if (Clock::now() >= end)
                return false;
            std::this_thread::sleep_for(std::chrono::microseconds(50));
        }
        return true;
    }

    Clock::time_point arrival(std::size_t index) { return arrivals_.at(index); }
    // Messages arrived so far.
    std::size_t count() { return take(); }

private:
    static int Process(jack_nframes_t frames, void *self)
    {
        auto *arrivals = static_cast<JackArrivals *>(self);
        void *buffer = jack_port_get_buffer(arrivals->port_, frames);
        const jack_nframes_t events = jack_midi_get_event_count(buffer);
        const Clock::time_point now = Clock::now();
        for (jack_nframes_t i = 0; i < events; ++i) {
            if (jack_ringbuffer_write_space(arrivals->stamps_) < sizeof now)
                break;
            jack_ringbuffer_write(arrivals->stamps_, reinterpret_cast<const char *>(&now), sizeof now);
        }
        return 0;
    }

    std::size_t take()
    {
        Clock::time_point stamp;
        while (jack_ringbuffer_read_space(stamps_) >= sizeof stamp) {
            jack_ringbuffer_read(stamps_, reinterpret_cast<char *>(&stamp), sizeof stamp);
            arrivals_.push_back(stamp);
        }
        return arrivals_.size();
    }

    jack_client_t *client_ = nullptr;
    jack_port_t *port_ = nullptr;
    jack_ringbuffer_t *stamps_ = nullptr;
    std::string portName_;
    std::vector<Clock::time_point> arrivals_;
};

// The component opened through the system back end on a JACK port of our own.
struct JackTarget {
    JackServerInfo server;
    std::unique_ptr<JackArrivals> receiver;
    std::unique_ptr<midi_out::TMidiOutput> out; // null: the benchmark is skipped
};

inline JackTarget OpenOnReceiver(benchmark::State &state)
{
    JackTarget target{QueryJackServer(), nullptr, nullptr};
    if (target.server.period == 0) {
        state.SkipWithError("no JACK server: run scripts/test.sh or start jackd");
        return target;
    }
    target.receiver = std::make_unique<JackArrivals>();
    target.out = std::make_unique<midi_out::TMidiOutput>(midi_out::CreateSystemBackend());
    target.out->SetProductName(target.receiver->portName());
    if (!target.out->OpenDevice()) {
        state.SkipWithError("JACK port did not open");
        target.out.reset();
    }
    return target;
}

} // namespace bench_midi
