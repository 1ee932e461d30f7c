// A keyboard played into the program over JACK: the notes come out of the
// program's output port and land in the recording the user saves.

#include "e2e/PlayingWindow.h"

#include <gtest/gtest.h>

#include <jack/midiport.h>
#include <jack/ringbuffer.h>

#include <fstream>
#include <iterator>
#include <unistd.h>

namespace e2e {
namespace {

using std::chrono::milliseconds;

// A JACK client of the test's own with one MIDI output port, "out": what is
// queued goes out in the next cycle.
class JackSource {
public:
    JackSource()
    {
        jack_status_t status;
        client_ = jack_client_open(("sonoret-e2e-keys-" + std::to_string(getpid())).c_str(),
                                   jack_options_t(JackNoStartServer | JackUseExactName), &status);
        if (client_ == nullptr)
            throw std::runtime_error("no JACK server for the keyboard");
        port_ = jack_port_register(client_, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
        jack_set_process_callback(client_, &JackSource::Process, this);
        if (port_ == nullptr || jack_activate(client_) != 0)
            throw std::runtime_error("no JACK MIDI output port for the keyboard");
    }
    ~JackSource()
    {
        jack_deactivate(client_);
        jack_client_close(client_);
        jack_ringbuffer_free(queue_);
    }

    std::string PortName() const { return jack_port_name(port_); }
    void Play(const Bytes &message)
    {
        const auto length = static_cast<std::uint8_t>(message.size());
        jack_ringbuffer_write(queue_, reinterpret_cast<const char *>(&length), 1);
        jack_ringbuffer_write(queue_, reinterpret_cast<const char *>(message.data()), length);
    }

private:
    static int Process(jack_nframes_t frames, void *self)
    {
        auto &source = *static_cast<JackSource *>(self);
        void *buffer = jack_port_get_buffer(source.port_, frames);
        jack_midi_clear_buffer(buffer);
        std::uint8_t length;
        std::uint8_t bytes[256];
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
};

TEST_F(PlayingWindow, AKeyboardOnTheInputPlaysThroughTheOutputAndIsRecordedAndSaved)
{
    JackSource keyboard;
    Start("\n[InputDevice]\nName=" + keyboard.PortName() + "\nID=0\n");
    Click(RecordButton);
    input->WaitForMore(1, IsNoteOrProgram); // the instrument, at tick 0

    const std::vector<Bytes> played{{0x90, 60, 100}, {0xB0, 64, 127}, {0x90, 64, 90},
                                    {0x80, 60, 0},   {0xB0, 64, 0},   {0x80, 64, 0}};
    // The notes and the pedal; not the controllers a closing device sends.
    const auto isPlayed = [](const Bytes &m) { return IsNote(m) || (m.size() == 3 && m[0] == 0xB0 && m[1] == 64); };
    for (const Bytes &message : played) {
        keyboard.Play(message);
        Hold(milliseconds(60));
    }
    const std::vector<Arrival> arrived = input->WaitForMore(played.size(), isPlayed);
    std::vector<Bytes> out;
    for (const Arrival &a : arrived)
        if (isPlayed(a.bytes))
            out.push_back(a.bytes);
    EXPECT_EQ(out, played) << "JACK cycles run late: " << input->Xruns();
    Click(StopButton);

    const std::string saved = program->Folder() + "/Eingang.vsq";
    ASSERT_NO_FATAL_FAILURE(SaveThroughDialog(saved));
    std::ifstream file(saved, std::ios::binary);
    const Bytes bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    ASSERT_EQ(bytes.size(), 7 * (played.size() + 1));
    EXPECT_EQ(Bytes(bytes.begin() + 4, bytes.begin() + 7), (Bytes{0xC0, 0, 0})); // the instrument
    std::uint32_t lastTick = 0;
    for (std::size_t i = 0; i < played.size(); ++i) {
        const std::size_t at = 7 * (i + 1);
        const std::uint32_t tick = bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | std::uint32_t(bytes[at + 3]) << 24;
        EXPECT_GE(tick, lastTick) << "message " << i;
        lastTick = tick;
        EXPECT_EQ(Bytes(bytes.begin() + at + 4, bytes.begin() + at + 7), played[i]) << "message " << i;
    }
    // Six messages 60 ms apart span a few 50 ms ticks.
    EXPECT_GE(lastTick, 3u);
    ExpectCleanEnd(*program);
}

} // namespace
} // namespace e2e
