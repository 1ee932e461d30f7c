#pragma once
// Helpers of the back-end tests: environment variables set for one scope, a
// JACK MIDI input port of the test's own that records what arrives, and a
// driver callback that records its notices.

#include "midi_out/MidiDefs.h"

#include <gtest/gtest.h>
#include <jack/jack.h>
#include <rtmidi/RtMidi.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace backend_test {

using Bytes = std::vector<std::uint8_t>;

// Sets (or, with nullopt, removes) an environment variable until the end of
// the scope, then restores what was there.
class EnvGuard {
public:
    EnvGuard(std::string name, std::optional<std::string> value) : name_(std::move(name))
    {
        if (const char *old = std::getenv(name_.c_str()))
            old_ = old;
        if (value)
            setenv(name_.c_str(), value->c_str(), 1);
        else
            unsetenv(name_.c_str());
    }
    ~EnvGuard()
    {
        if (old_)
            setenv(name_.c_str(), old_->c_str(), 1);
        else
            unsetenv(name_.c_str());
    }
    EnvGuard(const EnvGuard &) = delete;
    EnvGuard &operator=(const EnvGuard &) = delete;

private:
    std::string name_;
    std::optional<std::string> old_;
};

inline bool JackServerRunning()
{
    setenv("JACK_NO_START_SERVER", "1", 1);
    jack_status_t status;
    jack_client_t *client = jack_client_open("sonoret-test-probe", JackNoStartServer, &status);
    if (client == nullptr)
        return false;
    jack_client_close(client);
    return true;
}

// The MIDI transport tests need a server; CI starts one. Missing, they fail.
#define REQUIRE_JACK_SERVER()                                                                      \
    do {                                                                                           \
        if (!::backend_test::JackServerRunning())                                                  \
            GTEST_FAIL() << "no JACK server: run scripts/test.sh";                                 \
    } while (false)

// A JACK MIDI input port under a client name no other test uses; records every
// message that arrives, real-time and system messages included.
class JackReceiver {
public:
    JackReceiver()
    {
        static std::atomic<int> counter{0};
        client_ = "sonoret-test-" + std::to_string(getpid()) + "-" + std::to_string(++counter);
        in_ = std::make_unique<RtMidiIn>(RtMidi::UNIX_JACK, client_);
        in_->ignoreTypes(false, false, false);
        in_->setCallback(&JackReceiver::OnMessage, this);
        in_->openVirtualPort("in");
    }
    ~JackReceiver() { in_.reset(); }

    // The name under which the back ends list this port.
    std::string portName() const { return client_ + ":in"; }

    // Waits until `count` messages have arrived in all (or the deadline has
    // passed) and returns everything received so far.
    std::vector<Bytes> waitFor(std::size_t count, std::chrono::milliseconds deadline = std::chrono::seconds(5))
    {
        std::unique_lock lock(mutex_);
        arrived_.wait_for(lock, deadline, [&] { return received_.size() >= count; });
        return received_;
    }

    // Everything received so far, after letting a few more JACK periods pass
    // for messages that should not come.
    std::vector<Bytes> settle()
    {
        std::unique_lock lock(mutex_);
        const std::size_t before = received_.size();
        arrived_.wait_for(lock, std::chrono::milliseconds(100), [&] { return received_.size() > before; });
        return received_;
    }

    void clear()
    {
        std::lock_guard lock(mutex_);
        received_.clear();
    }

private:
    static void OnMessage(double, std::vector<unsigned char> *message, void *self)
    {
        auto *receiver = static_cast<JackReceiver *>(self);
        {
            std::lock_guard lock(receiver->mutex_);
            receiver->received_.emplace_back(message->begin(), message->end());
        }
        receiver->arrived_.notify_all();
    }

    std::string client_;
    std::unique_ptr<RtMidiIn> in_;
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::vector<Bytes> received_;
};

// The messages that closing a port must send: All Sound Off and All Notes Off
// on every channel.
inline std::vector<Bytes> SilencingMessages()
{
    std::vector<Bytes> messages;
    for (std::uint8_t channel = 0; channel < 16; ++channel) {
        messages.push_back({static_cast<std::uint8_t>(0xB0 | channel), 120, 0});
        messages.push_back({static_cast<std::uint8_t>(0xB0 | channel), 123, 0});
    }
    return messages;
}

// Driver notices as a back end delivers them.
struct Notice {
    midi_out::DeviceHandle device;
    std::uint32_t message;
    std::uintptr_t instance;
    std::uintptr_t param1;
};

struct NoticeLog {
    std::vector<Notice> notices;

    static void Callback(midi_out::DeviceHandle device, std::uint32_t message, std::uintptr_t instance,
                         std::uintptr_t param1, std::uintptr_t)
    {
        reinterpret_cast<NoticeLog *>(instance)->notices.push_back({device, message, instance, param1});
    }
    std::uintptr_t instance() { return reinterpret_cast<std::uintptr_t>(this); }
};

inline std::uint32_t Pack(std::uint8_t status, std::uint8_t data1 = 0, std::uint8_t data2 = 0)
{
    return status | (data1 << 8) | (data2 << 16);
}

} // namespace backend_test
