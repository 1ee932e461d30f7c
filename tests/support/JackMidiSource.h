#pragma once
// A MIDI source on JACK for tests: a client of its own with one MIDI output
// port, "out"; what Play queues goes out whole in the next cycle.

#include "midi_out/JackSupport.h"

#include <jack/jack.h>
#include <jack/midiport.h>
#include <jack/ringbuffer.h>

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
    void Play(const std::vector<std::uint8_t> &message)
    {
        const auto length = static_cast<std::uint8_t>(message.size());
        jack_ringbuffer_write(queue_, reinterpret_cast<const char *>(&length), 1);
        jack_ringbuffer_write(queue_, reinterpret_cast<const char *>(message.data()), length);
    }

private:
    static int Process(jack_nframes_t frames, void *self)
    {
        auto &source = *static_cast<JackMidiSource *>(self);
        void *buffer = jack_port_get_buffer(source.port_, frames);
        jack_midi_clear_buffer(buffer);
        std::uint8_t length, bytes[256];
        while (jack_ringbuffer_peek(source.queue_, reinterpret_cast<char *>(&length), 1) == 1 &&
               jack_ringbuffer_read_space(source.queue_) >= 1u + length) {
            jack_ringbuffer_read_advance(source.queue_, 1);
            jack_ringbuffer_read(source.queue_, reinterpret_cast<char *>(bytes), length);
            jack_midi_event_write(buffer, 0, bytes, length);
        }
        return 0;
    }

    jack_client_t *client_ = nullptr;
    jack_port_t *port_ = nullptr;
    jack_ringbuffer_t *queue_ = jack_ringbuffer_create(4096);
    std::string portName_;
};

} // namespace testing_support
