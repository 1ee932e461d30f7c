#pragma once
// A JACK client of a test's (or a benchmark's) own with one MIDI input port,
// "in", whose cycles its owner handles; active from construction until it is
// destroyed. Declared after whatever the owner's process callback uses, so
// that the client stops before those go.
//
// The server's xruns (cycles it could not finish in time, as on a loaded
// machine) are counted and, when there were any, named on standard error as
// the client goes: "JACK xruns while <name> listened: N". The test command
// runs a failed test once more only when its output says so.

#include "midi_out/JackSupport.h"

#include <jack/jack.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>

namespace testing_support {

class JackMidiInput {
public:
    JackMidiInput(const std::string &clientName, JackProcessCallback process, void *owner,
                  JackXRunCallback xrun = nullptr)
    {
        client_ = midi_out::OpenJackClientWithOwnWaitPoint(clientName.c_str(), JackNoStartServer | JackUseExactName,
                                                           nullptr);
        if (client_ == nullptr) {
            const char *server = std::getenv("JACK_DEFAULT_SERVER");
            throw std::runtime_error(std::string("no JACK server \"") + (server ? server : "default")
                                     + "\" to play into: start one, or run scripts/test.sh");
        }
        // Every JACK test thereby checks how the installed libjack names the
        // wait points that the program's own clients are checked by.
        if (!midi_out::ClientWaitPointMapped(client_)) {
            jack_client_close(client_);
            throw std::runtime_error("JACK client " + clientName + " has no wait point of its own");
        }
        port_ = jack_port_register(client_, "in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
        jack_set_process_callback(client_, process, owner);
        ownerXrun_ = xrun;
        owner_ = owner;
        jack_set_xrun_callback(client_, &JackMidiInput::CountXrun, this);
        if (port_ == nullptr || jack_activate(client_) != 0) {
            jack_client_close(client_);
            throw std::runtime_error("no JACK MIDI input port for " + clientName);
        }
        portName_ = jack_port_name(port_);
    }
    ~JackMidiInput()
    {
        jack_deactivate(client_);
        jack_client_close(client_);
        if (const int xruns = xruns_.load())
            std::fprintf(stderr, "JACK xruns while %s listened: %d\n", portName_.c_str(), xruns);
    }
    JackMidiInput(const JackMidiInput &) = delete;
    JackMidiInput &operator=(const JackMidiInput &) = delete;

    jack_port_t *Port() const { return port_; }
    jack_client_t *Client() const { return client_; }
    const std::string &PortName() const { return portName_; }

private:
    static int CountXrun(void *self)
    {
        auto &input = *static_cast<JackMidiInput *>(self);
        ++input.xruns_;
        return input.ownerXrun_ != nullptr ? input.ownerXrun_(input.owner_) : 0;
    }

    JackXRunCallback ownerXrun_ = nullptr;
    void *owner_ = nullptr;
    std::atomic<int> xruns_{0};
    jack_client_t *client_ = nullptr;
    jack_port_t *port_ = nullptr;
    std::string portName_;
};

} // namespace testing_support
