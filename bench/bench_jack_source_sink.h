#pragma once
// A MIDI source and a sink on JACK for the MIDI thru benchmarks, each a
// client of its own as a keyboard and a synthesizer are. In one client they
// would close a loop through the program's client, and a server that breaks
// the loop orders neither side: messages come twice or not at all, in
// neither path's doing. The source plays numbered messages at the rate set,
// from the cycle whose frames they fall in, each stamped in that cycle; the
// sink stamps each in the cycle that reads it.

#include "bench_midi_out_common.h"

#include "midi_out/JackSupport.h"

#include <jack/jack.h>
#include <jack/midiport.h>
#include <jack/ringbuffer.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <unistd.h>

namespace bench_midi {

constexpr std::uint32_t Messages = 10000;
constexpr std::uint32_t PerSecond = 1000;

struct Stamp {
    std::uint32_t number;
    Clock::time_point time;
};

std::uint32_t NumberOf(const jack_midi_data_t *bytes) { return bytes[1] | std::uint32_t{bytes[2]} << 7; }

class SourceAndSink {
public:
    // `tag` tells the pairs of one benchmark apart.
    explicit SourceAndSink(const std::string &tag = "")
    {
        client_ = midi_out::OpenJackClientWithOwnWaitPoint(("sonoret-bench-io" + tag + "-" + std::to_string(getpid())).c_str(),
                                                           JackNoStartServer | JackUseExactName, nullptr);
        if (client_ == nullptr)
            return;
        sinkClient_ = midi_out::OpenJackClientWithOwnWaitPoint(
            ("sonoret-bench-sink" + tag + "-" + std::to_string(getpid())).c_str(), JackNoStartServer | JackUseExactName, nullptr);
        if (sinkClient_ == nullptr)
            return;
        source_ = jack_port_register(client_, "source", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
        sink_ = jack_port_register(sinkClient_, "sink", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
        rate_ = jack_get_sample_rate(client_);
        period_ = jack_get_buffer_size(client_);
        jack_set_process_callback(client_, &SourceAndSink::Play, this);
        jack_set_process_callback(sinkClient_, &SourceAndSink::Receive, this);
        jack_set_xrun_callback(client_, [](void *self) {
            static_cast<SourceAndSink *>(self)->xruns_.fetch_add(1);
            return 0;
        }, this);
        jack_activate(client_);
        jack_activate(sinkClient_);
    }
    ~SourceAndSink()
    {
        for (jack_client_t *client : {sinkClient_, client_})
            if (client != nullptr) {
                jack_deactivate(client);
                jack_client_close(client);
            }
        jack_ringbuffer_free(sent_);
        jack_ringbuffer_free(arrived_);
    }

    bool Ok() const { return client_ != nullptr && sinkClient_ != nullptr && source_ != nullptr && sink_ != nullptr; }
    std::string SourceName() const { return jack_port_name(source_); }
    std::string SinkName() const { return jack_port_name(sink_); }
    jack_client_t *Client() const { return client_; }
    jack_nframes_t Period() const { return period_; }
    jack_nframes_t Rate() const { return rate_; }

    // Plays the messages; returns at once.
    void Start()
    {
        sentStamps_.clear();
        arrivedStamps_.clear();
        next_.store(0);
        startFrame_ = jack_frame_time(client_) + period_ * 4;
        playing_.store(true, std::memory_order_release);
    }
    bool Done() { return Collect(), next_.load() >= Messages; }
    std::size_t Arrived() { return Collect(), arrivedStamps_.size(); }

    // Delays in µs of the messages that arrived; `lost` the others.
    std::vector<double> Delays(std::size_t &lost)
    {
        Collect();
        std::vector<Clock::time_point> sent(Messages);
        std::vector<bool> seen(Messages);
        for (const Stamp &s : sentStamps_)
            sent[s.number] = s.time;
        std::vector<double> delays;
        for (const Stamp &s : arrivedStamps_)
            if (s.number < Messages && !seen[s.number]) {
                seen[s.number] = true;
                delays.push_back(Microseconds(s.time - sent[s.number]));
            }
        lost = Messages - delays.size();
        if (std::getenv("BENCH_SHOW_LOST"))
            for (std::uint32_t i = 0; i < Messages; ++i)
                if (!seen[i])
                    std::fprintf(stderr, "lost %u (sent %d)\n", i, sent[i] != Clock::time_point{} ? 1 : 0);
        return delays;
    }

private:
    static int Receive(jack_nframes_t frames, void *self)
    {
        auto &io = *static_cast<SourceAndSink *>(self);
        const Clock::time_point now = Clock::now();
        void *in = jack_port_get_buffer(io.sink_, frames);
        const std::uint32_t count = jack_midi_get_event_count(in);
        for (std::uint32_t i = 0; i < count; ++i) {
            jack_midi_event_t event;
            if (jack_midi_event_get(&event, in, i) == 0 && event.size == 3) {
                const Stamp stamp{NumberOf(event.buffer), now};
                if (jack_ringbuffer_write_space(io.arrived_) >= sizeof stamp)
                    jack_ringbuffer_write(io.arrived_, reinterpret_cast<const char *>(&stamp), sizeof stamp);
            }
        }
        return 0;
    }

    static int Play(jack_nframes_t frames, void *self)
    {
        auto &io = *static_cast<SourceAndSink *>(self);
        const Clock::time_point now = Clock::now();
        void *out = jack_port_get_buffer(io.source_, frames);
        jack_midi_clear_buffer(out);
        if (!io.playing_.load(std::memory_order_acquire))
            return 0;
        const jack_nframes_t first = jack_last_frame_time(io.client_);
        std::uint32_t next = io.next_.load(std::memory_order_relaxed);
        while (next < Messages) {
            const std::uint64_t due = io.startFrame_ + std::uint64_t{next} * io.rate_ / PerSecond;
            const auto offset = static_cast<std::int64_t>(due) - static_cast<std::int64_t>(first);
            if (offset >= static_cast<std::int64_t>(frames))
                break;
            const jack_midi_data_t bytes[3] = {0xB0, static_cast<jack_midi_data_t>(next & 0x7F),
                                               static_cast<jack_midi_data_t>(next >> 7)};
            jack_midi_event_write(out, static_cast<jack_nframes_t>(std::max<std::int64_t>(0, offset)), bytes, 3);
            const Stamp stamp{next, now};
            if (jack_ringbuffer_write_space(io.sent_) >= sizeof stamp)
                jack_ringbuffer_write(io.sent_, reinterpret_cast<const char *>(&stamp), sizeof stamp);
            ++next;
        }
        io.next_.store(next, std::memory_order_release);
        return 0;
    }

    void Collect()
    {
        Stamp stamp;
        while (jack_ringbuffer_read(sent_, reinterpret_cast<char *>(&stamp), sizeof stamp) == sizeof stamp)
            sentStamps_.push_back(stamp);
        while (jack_ringbuffer_read(arrived_, reinterpret_cast<char *>(&stamp), sizeof stamp) == sizeof stamp)
            arrivedStamps_.push_back(stamp);
    }

    jack_client_t *client_ = nullptr;
    jack_client_t *sinkClient_ = nullptr;
    jack_port_t *source_ = nullptr;
    jack_port_t *sink_ = nullptr;
    jack_nframes_t rate_ = 48000, period_ = 0;
    jack_ringbuffer_t *sent_ = jack_ringbuffer_create(sizeof(Stamp) * 2 * Messages);
    jack_ringbuffer_t *arrived_ = jack_ringbuffer_create(sizeof(Stamp) * 2 * Messages);
    std::vector<Stamp> sentStamps_, arrivedStamps_;
    std::atomic<bool> playing_{false};
    std::atomic<std::uint32_t> next_{0};

public:
    // Cycles the server could not finish in time (on a loaded machine a
    // non-realtime server has some); a client late in one misses its events.
    std::atomic<std::uint32_t> xruns_{0};

private:
    jack_nframes_t startFrame_ = 0;
};


} // namespace bench_midi
