#pragma once
// A MIDI source on JACK for tests: a client of its own with one MIDI output
// port, "out"; what Play queues goes out whole in the next cycle, at the
// frame asked for, and PlayedFrames tells the server's frame time it went
// out at.

#include "midi_out/JackSupport.h"

#include <jack/jack.h>
#include <jack/midiport.h>
#include <jack/ringbuffer.h>

#include <algorithm>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace testing_support {

class JackMidiSource {
public:
    explicit JackMidiSource(const std::string &clientName)
    {
        client_ = midi_out::OpenJackClientWithOwnWaitPoint(clientName.c_str(), JackNoStartServer | JackUseExactName,
                                                           nullptr);
        port_ = client_ ? jack_port_register(client_, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0) : nullptr;
        if (port_ == nullptr || jack_set_process_callback(client_, &Process, this) != 0 || jack_activate(client_) != 0)
            throw std::runtime_error("no JACK MIDI source " + clientName + ": is a JACK server running?");
        portName_ = jack_port_name(port_);
    }
    ~JackMidiSource()
    {
        Close();
        jack_ringbuffer_free(queue_);
        jack_ringbuffer_free(played_);
    }
    JackMidiSource(const JackMidiSource &) = delete;
    JackMidiSource &operator=(const JackMidiSource &) = delete;

    // The client goes, as a keyboard's program that ends.
    void Close()
    {
        // Deactivated first, so that its port leaves the running graph
        // before its number is free for another port.
        if (client_ != nullptr) {
            jack_deactivate(client_);
            jack_client_close(client_);
        }
        client_ = nullptr;
    }
    const std::string &PortName() const { return portName_; }
    // Messages queued by one call go out in one cycle; `frame` is within
    // the smallest period a server may run.
    void Play(const std::vector<std::uint8_t> &message, std::uint8_t frame = 0)
    {
        PlayInOneCycle(std::vector<std::vector<std::uint8_t>>{message}, frame);
    }
    void PlayInOneCycle(const std::vector<std::vector<std::uint8_t>> &messages, std::uint8_t frame = 0)
    {
        std::vector<char> queued;
        for (const auto &message : messages) {
            queued.push_back(static_cast<char>(message.size()));
            queued.insert(queued.end(), message.begin(), message.end());
        }
        const Header header{static_cast<std::uint16_t>(queued.size()), static_cast<std::uint8_t>(messages.size()),
                            frame};
        jack_ringbuffer_write(queue_, reinterpret_cast<const char *>(&header), sizeof header);
        jack_ringbuffer_write(queue_, queued.data(), queued.size());
    }
    // The absolute frame of each message played so far, in order.
    std::vector<jack_nframes_t> PlayedFrames()
    {
        jack_nframes_t frame;
        while (jack_ringbuffer_read(played_, reinterpret_cast<char *>(&frame), sizeof frame) == sizeof frame)
            frames_.push_back(frame);
        return frames_;
    }

private:
    struct Header {
        std::uint16_t bytes;
        std::uint8_t messages;
        std::uint8_t frame;
    };

    static int Process(jack_nframes_t frames, void *self)
    {
        auto &source = *static_cast<JackMidiSource *>(self);
        void *buffer = jack_port_get_buffer(source.port_, frames);
        jack_midi_clear_buffer(buffer);
        const jack_nframes_t start = jack_last_frame_time(source.client_);
        // A call's messages go out once all their bytes are in.
        Header header;
        std::uint8_t length, bytes[256];
        while (jack_ringbuffer_peek(source.queue_, reinterpret_cast<char *>(&header), sizeof header) == sizeof header &&
               jack_ringbuffer_read_space(source.queue_) >= sizeof header + header.bytes) {
            jack_ringbuffer_read_advance(source.queue_, sizeof header);
            const jack_nframes_t at = std::min<jack_nframes_t>(header.frame, frames - 1);
            for (std::uint8_t i = 0; i < header.messages; ++i) {
                jack_ringbuffer_read(source.queue_, reinterpret_cast<char *>(&length), 1);
                jack_ringbuffer_read(source.queue_, reinterpret_cast<char *>(bytes), length);
                jack_midi_event_write(buffer, at, bytes, length);
                const jack_nframes_t played = start + at;
                jack_ringbuffer_write(source.played_, reinterpret_cast<const char *>(&played), sizeof played);
            }
        }
        return 0;
    }

    jack_client_t *client_ = nullptr;
    jack_port_t *port_ = nullptr;
    jack_ringbuffer_t *queue_ = jack_ringbuffer_create(4096);
    jack_ringbuffer_t *played_ = jack_ringbuffer_create(4096);
    std::vector<jack_nframes_t> frames_;
    std::string portName_;
};

} // namespace testing_support
