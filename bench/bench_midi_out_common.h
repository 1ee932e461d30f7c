#pragma once
// Shared by the MIDI output benchmarks: a JACK MIDI input port that stamps
// each arrival, and the server it runs on.

#include "bench_support.h"
#include "midi_out/MidiOut.h"
#include "midi_out/SystemBackend.h"
#include "support/JackMidiInput.h"

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

// A JACK MIDI input port that notes the time each message arrives, on the
// JACK API itself.
class JackArrivals {
public:
    JackArrivals() : input_("sonoret-bench-" + std::to_string(getpid()), &JackArrivals::Process, this) {}

    std::string portName() const { return input_.PortName(); }

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
        void *buffer = jack_port_get_buffer(arrivals->input_.Port(), frames);
        const jack_nframes_t events = jack_midi_get_event_count(buffer);
        const Clock::time_point now = Clock::now();
        for (jack_nframes_t i = 0; i < events; ++i) {
            if (jack_ringbuffer_write_space(arrivals->stamps_.get()) < sizeof now)
                break;
            jack_ringbuffer_write(arrivals->stamps_.get(), reinterpret_cast<const char *>(&now), sizeof now);
        }
        return 0;
    }

    std::size_t take()
    {
        Clock::time_point stamp;
        while (jack_ringbuffer_read_space(stamps_.get()) >= sizeof stamp) {
            jack_ringbuffer_read(stamps_.get(), reinterpret_cast<char *>(&stamp), sizeof stamp);
            arrivals_.push_back(stamp);
        }
        return arrivals_.size();
    }

    std::unique_ptr<jack_ringbuffer_t, decltype(&jack_ringbuffer_free)> stamps_{
        jack_ringbuffer_create(sizeof(Clock::time_point) * 4096), &jack_ringbuffer_free};
    std::vector<Clock::time_point> arrivals_;
    testing_support::JackMidiInput input_; // last: stops before the stamps go
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
