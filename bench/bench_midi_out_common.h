#pragma once
// Shared by the MIDI output benchmarks: percentiles of collected samples as
// benchmark counters, and a JACK MIDI input port that stamps each arrival.

#include <benchmark/benchmark.h>
#include <jack/jack.h>
#include <rtmidi/RtMidi.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace bench_midi {

using Clock = std::chrono::steady_clock;

// Sets median and 99th percentile of `samples` (microseconds) as counters.
inline void ReportPercentiles(benchmark::State &state, std::vector<double> samples)
{
    if (samples.empty())
        return;
    std::sort(samples.begin(), samples.end());
    const auto at = [&](double fraction) {
        return samples[std::min(samples.size() - 1, static_cast<std::size_t>(fraction * samples.size()))];
    };
    state.counters["median_us"] = at(0.5);
    state.counters["p99_us"] = at(0.99);
    state.counters["max_us"] = samples.back();
    state.counters["samples"] = static_cast<double>(samples.size());
}

inline double Microseconds(Clock::duration duration)
{
    return std::chrono::duration<double, std::micro>(duration).count();
}

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

// A JACK MIDI input port that notes the time each message arrives.
class JackArrivals {
public:
    JackArrivals()
    {
        client_ = "sonoret-bench-" + std::to_string(getpid());
        in_ = std::make_unique<RtMidiIn>(RtMidi::UNIX_JACK, client_);
        in_->setCallback(&JackArrivals::OnMessage, this);
        in_->openVirtualPort("in");
    }
    ~JackArrivals() { in_.reset(); }

    std::string portName() const { return client_ + ":in"; }

    std::size_t count()
    {
        std::lock_guard lock(mutex_);
        return arrivals_.size();
    }

    // Waits until `count` messages have arrived; false on time-out.
    bool waitFor(std::size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(2))
    {
        std::unique_lock lock(mutex_);
        return arrived_.wait_for(lock, timeout, [&] { return arrivals_.size() >= count; });
    }

    Clock::time_point arrival(std::size_t index)
    {
        std::lock_guard lock(mutex_);
        return arrivals_.at(index);
    }

private:
    static void OnMessage(double, std::vector<unsigned char> *, void *self)
    {
        auto *arrivals = static_cast<JackArrivals *>(self);
        const auto now = Clock::now();
        {
            std::lock_guard lock(arrivals->mutex_);
            arrivals->arrivals_.push_back(now);
        }
        arrivals->arrived_.notify_all();
    }

    std::string client_;
    std::unique_ptr<RtMidiIn> in_;
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::vector<Clock::time_point> arrivals_;
};

} // namespace bench_midi
